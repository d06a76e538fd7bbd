// Built with ThreadSanitizer: the audio thread processes blocks with MIDI controllers while the
// message thread sets parameters, saves and loads states and runs the editor's timer.

#include "PluginProcessor.h"
#include "MainWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cmath>
#include <iostream>
#include <random>
#include <thread>
#include <vector>

namespace
{
    MainWindow* findMainWindow (juce::Component& editor)
    {
        for (auto* child : editor.getChildren())
            if (auto* window = dynamic_cast<MainWindow*> (child))
                return window;

        return nullptr;
    }

    juce::MemoryBlock randomState (SpoolwarpAudioProcessor& processor, std::mt19937& random)
    {
        juce::MemoryBlock block;
        processor.getStateInformation (block);

        if (random() % 3 == 0 && block.getSize() > 0)   // damaged now and then
            static_cast<char*> (block.getData())[random() % block.getSize()] ^= (char) (1 << (random() % 8));

        return block;
    }
}

TEST (ThreadStress, AudioThreadAgainstTheMessageThreadAndTheEditor)
{
    // The editor is never shown, so it needs no display. The framework connects to ":0.0" when
    // DISPLAY is empty; a display that cannot exist keeps it off any server that may be running
    // there (and that could go away mid-run, which makes the X library end the process).
    setenv ("DISPLAY", "unix:65000", 1);
    juce::ScopedJuceInitialiser_GUI gui;

    SpoolwarpAudioProcessor processor;
    processor.setPlayConfigDetails (2, 2, 48000.0, 512);
    processor.prepareToPlay (48000.0, 512);

    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    ASSERT_NE (editor, nullptr);
    auto* mainWindow = findMainWindow (*editor);
    ASSERT_NE (mainWindow, nullptr);

    std::atomic<bool> stop { false };
    std::atomic<int64_t> blocksProcessed { 0 };
    std::atomic<bool> outputSound { true };

    std::thread audio (
        [&]
        {
        std::mt19937 random (1);
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        midi.ensureSize (1024);

        while (! stop.load())
        {
            for (int s = 0; s < buffer.getNumSamples(); ++s)
                for (int channel = 0; channel < 2; ++channel)
                    buffer.setSample (channel, s, (float) ((int) (random() % 2001) - 1000) / 1000.0f);

            midi.clear();

            for (int i = 0; i < 8; ++i)
            {
                const auto& row = FxParams[random() % numFxParams];
                midi.addEvent (juce::MidiMessage::controllerEvent (1 + (int) (random() % 16), row.midiCC, (int) (random() % 128)), i);
            }

            processor.processBlock (buffer, midi);

            for (int s = 0; s < buffer.getNumSamples(); ++s)
                if (! (std::abs (buffer.getSample (0, s)) <= 1.0f && std::abs (buffer.getSample (1, s)) <= 1.0f))
                    outputSound = false;

            ++blocksProcessed;
        }
    });

    std::mt19937 random (2);
    std::uniform_real_distribution<float> value (-0.5f, 1.5f);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds (4);
    int rounds = 0;

    for (; std::chrono::steady_clock::now() < end; ++rounds)
    {
        for (auto* parameter : processor.params)
        {
            const float v = value (random);
            parameter->setValue (v);
            parameter->sendValueChangedMessageToListeners (v);
        }

        const auto state = randomState (processor, random);
        processor.setStateInformation (state.getData(), (int) state.getSize());

        mainWindow->timerCallback();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (2);
    }

    stop = true;
    audio.join();

    std::cout << blocksProcessed.load() << " blocks against " << rounds << " message-thread rounds" << std::endl;
    EXPECT_TRUE (outputSound.load());
    EXPECT_GT (blocksProcessed.load(), 100);
    EXPECT_GT (rounds, 100);

    editor.reset();
    processor.releaseResources();
}
