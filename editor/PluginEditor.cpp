#include "PluginEditor.h"

#include "PanelLayout.h"
#include "PluginProcessor.h"

namespace
{
    constexpr float designWidth = (float) PanelLayout::width;
    constexpr float designHeight = (float) PanelLayout::height;

    // The smallest and largest window: the pop-up menu's 70 % and 130 %.
    const auto smallest = PanelLayout::sizeAtTenths (7);
    const auto largest = PanelLayout::sizeAtTenths (13);
}

SpoolwarpAudioProcessorEditor::SpoolwarpAudioProcessorEditor (SpoolwarpAudioProcessor& processorToEdit)
    : juce::AudioProcessorEditor (processorToEdit),
      processorRef (processorToEdit)
{
    setResizeLimits (smallest.x, smallest.y, largest.x, largest.y);
    getConstrainer()->setFixedAspectRatio ((double) PanelLayout::width / (double) PanelLayout::height);
    setResizable (true, true);

    const auto scale = processorRef.editorScale;
    setSize ((int) (designWidth * scale), (int) (designHeight * scale));

    mainWindow = std::make_unique<MainWindow> (processorRef);
    mainWindow->setBounds (0, 0, PanelLayout::width, PanelLayout::height);
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
