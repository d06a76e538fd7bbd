#include "PluginEditor.h"

#include "PluginProcessor.h"

namespace
{
    constexpr float designWidth = 879.0f;
    constexpr float designHeight = 646.0f;
}

SpoolwarpAudioProcessorEditor::SpoolwarpAudioProcessorEditor (SpoolwarpAudioProcessor& processorToEdit)
    : juce::AudioProcessorEditor (processorToEdit), processorRef (processorToEdit)
{
    setResizeLimits (615, 452, 1142, 839);
    getConstrainer()->setFixedAspectRatio (879.0 / 646.0);
    setResizable (true, true);

    const auto scale = processorRef.editorScale;
    setSize ((int) (designWidth * scale), (int) (designHeight * scale));

    mainWindow = std::make_unique<MainWindow> (processorRef);
    mainWindow->setBounds (0, 0, 879, 646);
    addAndMakeVisible (*mainWindow);

    if (scale != 1.0f)
        mainWindow->setTransform (juce::AffineTransform::scale (scale));
}

SpoolwarpAudioProcessorEditor::~SpoolwarpAudioProcessorEditor()
{
    mainWindow.reset();
}

void SpoolwarpAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::black);
}

void SpoolwarpAudioProcessorEditor::resized()
{
    if (! isVisible())
        return;

    const auto scale = (float) getWidth() / designWidth;
    processorRef.editorScale = scale;
    mainWindow->setTransform (juce::AffineTransform::scale (scale));
}
