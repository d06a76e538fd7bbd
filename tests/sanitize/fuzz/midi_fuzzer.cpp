// libFuzzer target: arbitrary parameter values (any bit pattern), host rate, block size and raw
// MIDI events fed to processBlock. The MIDI buffer must come back empty and, with input within
// [-1, 1], every output sample must be finite and within [-1, 1].

#include "PluginProcessor.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
    constexpr double hostRates[] = { 22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 384000.0 };

    /** Reads the input front to back; past its end every read gives zeros. */
    struct Reader
    {
        const uint8_t* data;
        size_t size;

        uint8_t byte() noexcept
        {
            if (size == 0)
                return 0;

            --size;
            return *data++;
        }

        float floatBits() noexcept
        {
            uint32_t bits = 0;

            for (int i = 0; i < 4; ++i)
                bits |= (uint32_t) byte() << (8 * i);

            float v;
            std::memcpy (&v, &bits, sizeof (v));
            return v;
        }
    };
}

// The entry point libFuzzer calls with each input.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static SpoolwarpAudioProcessor processor;
    Reader reader { data, size };

    const double rate = hostRates[reader.byte() % std::size (hostRates)];
    const int blockSize = 1 + (int) (((uint32_t) reader.byte() | ((uint32_t) reader.byte() << 8)) % 2048);
    const int channels = 1 + reader.byte() % 2;

    processor.setPlayConfigDetails (channels, channels, rate, 512);
    processor.prepareToPlay (rate, 512);

    for (auto* parameter : processor.params)
    {
        const float v = reader.floatBits();
        parameter->setValue (v);
        parameter->sendValueChangedMessageToListeners (v);
    }

    juce::MidiBuffer midi;

    while (reader.size > 0)
    {
        uint8_t event[8];
        const int length = 1 + reader.byte() % (int) sizeof (event);
        const int position = reader.byte() % blockSize;

        for (int i = 0; i < length; ++i)
            event[i] = reader.byte();

        midi.addEvent (event, length, position);
    }

    juce::AudioBuffer<float> buffer (channels, blockSize);

    for (int block = 0; block < 2; ++block)
    {
        for (int channel = 0; channel < channels; ++channel)
            for (int s = 0; s < blockSize; ++s)
                buffer.setSample (channel, s, (float) ((s * (channel + 7) + block) % 41 - 20) / 20.0f);

        processor.processBlock (buffer, midi);

        if (! midi.isEmpty())
            std::abort();

        for (int channel = 0; channel < channels; ++channel)
            for (int s = 0; s < blockSize; ++s)
                if (! (std::abs (buffer.getSample (channel, s)) <= 1.0f))
                    std::abort();
    }

    return 0;
}
