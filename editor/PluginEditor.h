#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

#include "MainWindow.h"

class SpoolwarpAudioProcessor;

/** The resizable shell around the front panel: it scales the 879 x 646 main window to its own
    width and keeps that scale in the processor for the next editor.
*/
class SpoolwarpAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit SpoolwarpAudioProcessorEditor (SpoolwarpAudioProcessor& processor);
    ~SpoolwarpAudioProcessorEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    SpoolwarpAudioProcessor& processorRef;
    std::unique_ptr<MainWindow> mainWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SpoolwarpAudioProcessorEditor)
};
