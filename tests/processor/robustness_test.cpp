#include "processor_fixture.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

//==============================================================================
// Allocation and lock counters for the current thread, armed around the calls under test.
namespace
{
    thread_local bool countingOnThisThread = false;
    thread_local int allocations = 0;
    thread_local int mutexLocks = 0;
    thread_local int randCalls = 0;

    void* allocate (std::size_t size, std::size_t alignment = 0)
    {
        if (countingOnThisThread)
            ++allocations;

        void* p = nullptr;

        if (alignment > alignof (std::max_align_t))
        {
            if (posix_memalign (&p, alignment, size == 0 ? 1 : size) != 0)
                p = nullptr;
        }
        else
        {
            p = std::malloc (size == 0 ? 1 : size);
        }

        return p;
    }

    void* allocateOrThrow (std::size_t size, std::size_t alignment = 0)
    {
        if (auto* p = allocate (size, alignment))
            return p;

        throw std::bad_alloc();
    }

    void release (void* p) noexcept
    {
        if (countingOnThisThread && p != nullptr)
            ++allocations;

        std::free (p);
    }

    struct CountingScope
    {
        CountingScope()
        {
            allocations = 0;
            mutexLocks = 0;
            randCalls = 0;
            countingOnThisThread = true;
        }
        ~CountingScope() { countingOnThisThread = false; }
    };
}

// clang-format off
void* operator new (std::size_t size)                                                     { return allocateOrThrow (size); }
void* operator new[] (std::size_t size)                                                   { return allocateOrThrow (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept                     { return allocate (size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept                   { return allocate (size); }
void* operator new (std::size_t size, std::align_val_t a)                                 { return allocateOrThrow (size, (std::size_t) a); }
void* operator new[] (std::size_t size, std::align_val_t a)                               { return allocateOrThrow (size, (std::size_t) a); }
void* operator new (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept   { return allocate (size, (std::size_t) a); }
void* operator new[] (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return allocate (size, (std::size_t) a); }
void operator delete (void* p) noexcept                                                   { release (p); }
void operator delete[] (void* p) noexcept                                                 { release (p); }
void operator delete (void* p, std::size_t) noexcept                                      { release (p); }
void operator delete[] (void* p, std::size_t) noexcept                                    { release (p); }
void operator delete (void* p, const std::nothrow_t&) noexcept                            { release (p); }
void operator delete[] (void* p, const std::nothrow_t&) noexcept                          { release (p); }
void operator delete (void* p, std::align_val_t) noexcept                                 { release (p); }
void operator delete[] (void* p, std::align_val_t) noexcept                               { release (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept                    { release (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept                  { release (p); }
void operator delete (void* p, std::align_val_t, const std::nothrow_t&) noexcept          { release (p); }
void operator delete[] (void* p, std::align_val_t, const std::nothrow_t&) noexcept        { release (p); }
// clang-format on

// The test binary is linked with --wrap=pthread_mutex_lock, so every mutex lock taken by our
// code or by the framework (both linked statically) comes through here.
extern "C" int __real_pthread_mutex_lock (pthread_mutex_t* mutex);

extern "C" int __wrap_pthread_mutex_lock (pthread_mutex_t* mutex)
{
    if (countingOnThisThread)
        ++mutexLocks;

    return __real_pthread_mutex_lock (mutex);
}

// rand() is wrapped too: glibc guards its generator with an internal lock that is no
// pthread mutex, so the calls themselves are counted.
extern "C" int __real_rand();

extern "C" int __wrap_rand()
{
    if (countingOnThisThread)
        ++randCalls;

    return __real_rand();
}

//==============================================================================
namespace
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();

    constexpr double hostRates[] = { 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 384000.0 };
    constexpr int blockSizes[] = { 1, 64, 512, 1024, 3000 };   // the last two are larger than prepared

    void setAll (SpoolwarpAudioProcessor& processor, const std::vector<float>& values)
    {
        for (int i = 0; i < numFxParams; ++i)
            processor.params[i]->setValue (values[(size_t) i]);
    }

    // Loud feedback on every head: the hardest sane setting for the output limits.
    const std::vector<float> loudSettings { 1.0f, 1.0f, 1.0f, 1.0f, 0.3f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f };

    /** Fills a block with a mix of full-scale noise, a square wave and impulses, all within [-1, 1]. */
    void fillInput (juce::AudioBuffer<float>& buffer, std::mt19937& random, int64_t& position)
    {
        std::uniform_real_distribution<float> noise (-1.0f, 1.0f);

        for (int s = 0; s < buffer.getNumSamples(); ++s, ++position)
        {
            const int section = (int) ((position / 20000) % 4);

            for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
            {
                float x = 0.0f;

                switch (section)
                {
                    case 0: x = noise (random); break;
                    case 1: x = (position / 50) % 2 == 0 ? 1.0f : -1.0f; break;
                    case 2: x = position % 4410 == 0 ? 1.0f : 0.0f; break;
                    default: x = 0.0f; break;
                }

                buffer.setSample (channel, s, x);
            }
        }
    }

    ::testing::AssertionResult isSoundOutput (const juce::AudioBuffer<float>& buffer)
    {
        for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
        {
            for (int s = 0; s < buffer.getNumSamples(); ++s)
            {
                const float x = buffer.getSample (channel, s);

                if (! std::isfinite (x) || std::fpclassify (x) == FP_SUBNORMAL || std::abs (x) > 1.0f)
                    return ::testing::AssertionFailure() << "channel " << channel << " sample " << s << " is " << x;
            }
        }

        return ::testing::AssertionSuccess();
    }

    juce::MidiBuffer controllerEvents (std::mt19937& random, int count, int numSamples)
    {
        juce::MidiBuffer midi;
        std::uniform_int_distribution<int> channel (1, 16), parameter (0, numFxParams - 1), value (0, 127);

        for (int i = 0; i < count; ++i)
            midi.addEvent (juce::MidiMessage::controllerEvent (channel (random), FxParams[parameter (random)].midiCC, value (random)),
                           i % juce::jmax (1, numSamples));

        return midi;
    }
}

//==============================================================================
struct RateAndBlock
{
    double rate;
    int blockSize;
};

void PrintTo (const RateAndBlock& c, std::ostream* os)
{
    *os << c.rate << " Hz, blocks of " << c.blockSize;
}

class RateAndBlockTest : public ::testing::TestWithParam<RateAndBlock>
{
};

TEST_P (RateAndBlockTest, OutputIsFiniteNormalAndWithinFullScale)
{
    const auto [rate, blockSize] = GetParam();
    SeededProcessor processor;
    prepare (processor, rate);
    setAll (processor, loudSettings);

    std::mt19937 random (1234);
    int64_t position = 0;
    juce::AudioBuffer<float> buffer (2, blockSize);
    const int64_t total = (int64_t) (2.0 * rate);

    while (position < total)
    {
        fillInput (buffer, random, position);
        auto midi = controllerEvents (random, position % 7 == 0 ? 3 : 0, blockSize);
        processor.processBlock (buffer, midi);
        ASSERT_TRUE (isSoundOutput (buffer)) << "at sample " << position;
    }
}

TEST_P (RateAndBlockTest, ProcessBlockNeitherAllocatesNorLocks)
{
    const auto [rate, blockSize] = GetParam();
    SeededProcessor processor;
    prepare (processor, rate);
    setAll (processor, loudSettings);

    std::mt19937 random (99);
    int64_t position = 0;
    juce::AudioBuffer<float> buffer (2, blockSize);

    for (int block = 0; block < 40; ++block)
    {
        fillInput (buffer, random, position);
        juce::MidiBuffer midi;
        midi.ensureSize (256);

        {
            CountingScope counting;
            processor.processBlock (buffer, midi);
            ASSERT_EQ (allocations, 0) << "block " << block;
            ASSERT_EQ (mutexLocks, 0) << "block " << block;
        }
    }
}

INSTANTIATE_TEST_SUITE_P (EveryRateAndBlockSize, RateAndBlockTest,
                          ::testing::ValuesIn (
                              []
                              {
    std::vector<RateAndBlock> cases;

    for (auto rate : hostRates)
        for (auto size : blockSizes)
            cases.push_back ({ rate, size });

    return cases;
                          }()),
                          [] (const ::testing::TestParamInfo<RateAndBlock>& testInfo)
                          { return std::to_string ((int) testInfo.param.rate) + "Hz_" + std::to_string (testInfo.param.blockSize); });

//==============================================================================
TEST (ProcessBlockLocks, ControllerEventsLockOnlyInTheFrameworksHostNotification)
{
    SeededProcessor processor;
    prepare (processor, 48000.0);
    juce::AudioBuffer<float> buffer (2, 256);
    buffer.clear();

    int locksPerNotification = 0;
    {
        CountingScope counting;
        processor.params[0]->sendValueChangedMessageToListeners (0.5f);
        locksPerNotification = mutexLocks;
        ASSERT_EQ (allocations, 0);
    }
    EXPECT_EQ (locksPerNotification, 1);   // the parameter's listener lock

    std::mt19937 random (5);

    for (int block = 0; block < 20; ++block)
    {
        auto midi = controllerEvents (random, 12, 256);
        midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 3);
        midi.addEvent (juce::MidiMessage::controllerEvent (1, 64, 127), 4);   // no mapping

        CountingScope counting;
        processor.processBlock (buffer, midi);
        EXPECT_EQ (allocations, 0) << "block " << block;
        EXPECT_EQ (mutexLocks, 12 * locksPerNotification) << "block " << block;
    }
}

TEST (ProcessBlockLocks, TheOnlyOtherLockIsRandsOncePerWowStep)
{
    SeededProcessor processor;
    prepare (processor, 44100.0);
    processor.params[5]->setValue (1.0f);   // Speed 1: the wow oscillator steps at 7.1 Hz

    juce::AudioBuffer<float> buffer (2, 44100);
    buffer.clear();
    juce::MidiBuffer midi;

    for (int second = 0; second < 10; ++second)
    {
        CountingScope counting;
        processor.processBlock (buffer, midi);
        EXPECT_EQ (allocations, 0);
        EXPECT_EQ (mutexLocks, 0);
        EXPECT_GE (randCalls, 6) << "second " << second;
        EXPECT_LE (randCalls, 8) << "second " << second;
    }
}

//==============================================================================
namespace
{
    float randomParameterValue (std::mt19937& random)
    {
        std::uniform_int_distribution<int> kind (0, 9);
        std::uniform_real_distribution<float> unit (0.0f, 1.0f), wide (-20.0f, 20.0f);

        switch (kind (random))
        {
            case 0: return notANumber;
            case 1: return inf;
            case 2: return -inf;
            case 3: return (unit (random) < 0.5f ? -1.0f : 1.0f) * 3.0e38f * unit (random);
            case 4: return std::numeric_limits<float>::denorm_min() * (float) (random() % 1000);
            case 5:
            case 6: return wide (random);
            default: return unit (random);
        }
    }

    /** The sample at which the echo of an impulse peaks, with dry gains at 0 and only head 3 on. */
    int64_t impulseEchoPeak (SpoolwarpAudioProcessor& processor, double rate, double settleSeconds)
    {
        setAll (processor, { 0.0f, 0.0f, 1.0f, 0.0f, 0.5f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f });

        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;

        for (int64_t s = 0; s < (int64_t) (settleSeconds * rate); s += buffer.getNumSamples())
        {
            buffer.clear();
            processor.processBlock (buffer, midi);
        }

        int64_t peakAt = -1;
        float peak = 0.0f;

        for (int64_t s = 0; s < (int64_t) (0.4 * rate); s += buffer.getNumSamples())
        {
            buffer.clear();

            if (s == 0)
            {
                buffer.setSample (0, 0, 1.0f);
                buffer.setSample (1, 0, 1.0f);
            }

            processor.processBlock (buffer, midi);

            for (int i = 0; i < buffer.getNumSamples(); ++i)
            {
                if (s + i > 100 && std::abs (buffer.getSample (0, i)) > peak)
                {
                    peak = std::abs (buffer.getSample (0, i));
                    peakAt = s + i;
                }
            }
        }

        return peak > 0.01f ? peakAt : -1;
    }

    // Head 3's delay in host samples at speed 1: five tape steps per engine sample.
    double headThreeDelay (const SpoolwarpAudioProcessor& processor)
    {
        const auto& d = *processor.engine->dsp;
        return (double) (d.headOffset[3] - d.headOffset[0]) / 5.0 * (double) (processor.decimation + 1);
    }
}

class RandomAutomationTest : public ::testing::TestWithParam<double>
{
};

TEST_P (RandomAutomationTest, OutputStaysSoundAndTheEchoRecovers)
{
    const double rate = GetParam();
    SeededProcessor processor;
    prepare (processor, rate);

    std::mt19937 random (2024);
    int64_t position = 0;
    juce::AudioBuffer<float> buffer (2, 32);
    const int64_t total = (int64_t) (150.0 * rate);   // minutes of audio

    for (int64_t block = 0; position < total; ++block)
    {
        juce::MidiBuffer midi;

        if (block % 2 == 0)
        {
            for (auto* parameter : processor.params)
            {
                const float v = randomParameterValue (random);
                parameter->setValue (v);
                parameter->sendValueChangedMessageToListeners (v);
            }
        }
        else
        {
            midi = controllerEvents (random, numFxParams, 32);
        }

        fillInput (buffer, random, position);
        processor.processBlock (buffer, midi);
        ASSERT_TRUE (isSoundOutput (buffer)) << "at sample " << position;
    }

    const auto expected = headThreeDelay (processor);
    // Absurd Speed values drive the motor far beyond its range; its inertia brings the tape back
    // to speed within about half a minute, so the recovered processor settles for longer.
    const auto speedAfterAutomation = processor.engine->dsp->smoothedSpeed;
    const auto recovered = impulseEchoPeak (processor, rate, 45.0);
    SeededProcessor fresh;
    prepare (fresh, rate);
    const auto reference = impulseEchoPeak (fresh, rate, 8.0);

    EXPECT_NEAR ((double) reference, expected, 0.02 * expected + 20.0);
    EXPECT_NEAR ((double) recovered, expected, 0.02 * expected + 20.0) << "speed after the automation " << speedAfterAutomation;
}

INSTANTIATE_TEST_SUITE_P (BothEngineRates, RandomAutomationTest, ::testing::Values (44100.0, 96000.0),
                          [] (const ::testing::TestParamInfo<double>& testInfo) { return std::to_string ((int) testInfo.param) + "Hz"; });

//==============================================================================
TEST (SampleRateChanges, AnyOrderRebuildsOnlyWhenTheEngineRateChanges)
{
    constexpr double rates[] = { 22050.0, 32000.0, 44100.0,  48000.0,  50000.0,  64000.0,
                                 88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0 };
    const auto engineRateFor = [] (double rate)
    { return (rate == 48000.0 || rate == 96000.0 || rate == 192000.0 || rate == 384000.0) ? 48000.0f : 44100.0f; };

    SeededProcessor processor;
    std::mt19937 random (77);
    std::uniform_int_distribution<int> pick (0, (int) std::size (rates) - 1);
    juce::AudioBuffer<float> buffer (2, 700);
    juce::MidiBuffer midi;
    float previousEngineRate = 0.0f;
    int expectedBuilds = 0;
    int64_t position = 0;

    for (int change = 0; change < 300; ++change)
    {
        const double rate = rates[pick (random)];
        prepare (processor, rate);

        if (engineRateFor (rate) != previousEngineRate)
            ++expectedBuilds;

        previousEngineRate = engineRateFor (rate);
        ASSERT_EQ (processor.enginesBuilt, expectedBuilds) << rate << " Hz";
        ASSERT_EQ (processor.engineRate, previousEngineRate);

        if (change % 3 == 0)
            processor.releaseResources();

        setAll (processor, loudSettings);
        fillInput (buffer, random, position);
        processor.processBlock (buffer, midi);
        ASSERT_TRUE (isSoundOutput (buffer)) << rate << " Hz";
    }
}

TEST (SampleRateChanges, AbsurdRatesGiveADefinedDecimationAndSoundOutput)
{
    struct Case
    {
        double rate;
        int32_t decimation;
    };
    const Case cases[] = {
        { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<int32_t>::max() },   // INT32_MIN - 1, wrapped
        { std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::max() },
        { 1.0e300, std::numeric_limits<int32_t>::max() },
        { 1.0e15, std::numeric_limits<int32_t>::max() },
        { 0.0, -1 },
        { -96000.0, -3 },
        { 1.0e9, 22674 },
    };

    for (const auto& c : cases)
    {
        SeededProcessor processor;
        prepare (processor, c.rate);
        EXPECT_EQ (processor.engineRate, 44100.0f) << c.rate;
        EXPECT_EQ (processor.decimation, c.decimation) << c.rate;

        juce::AudioBuffer<float> buffer (2, 512);
        std::mt19937 random (1);
        int64_t position = 0;
        fillInput (buffer, random, position);
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
        EXPECT_TRUE (isSoundOutput (buffer)) << c.rate;
    }
}

//==============================================================================
namespace
{
    std::vector<uint32_t> parameterBits (const SpoolwarpAudioProcessor& processor)
    {
        std::vector<uint32_t> bits;

        for (auto* parameter : processor.params)
        {
            const float v = parameter->getValue();
            uint32_t b;
            std::memcpy (&b, &v, sizeof (b));
            bits.push_back (b);
        }

        return bits;
    }

    void randomise (SpoolwarpAudioProcessor& processor, std::mt19937& random)
    {
        std::uniform_real_distribution<float> value (-3.0f, 3.0f);
        std::uniform_int_distribution<int> steps (0, 127);

        for (int i = 0; i < numFxParams; ++i)
        {
            switch (random() % 4)
            {
                case 0: processor.params[i]->setValue ((float) steps (random) / 127.0f); break;
                case 1: processor.params[i]->setValue (value (random)); break;
                case 2: processor.params[i]->setValue (std::ldexp (value (random), (int) (random() % 200) - 100)); break;
                default: processor.params[i]->setValue ((float) (random() % 2)); break;
            }
        }
    }

    /** The values a loader following the framework's parser would leave, or the current values when
        the text is not a state of ours.
    */
    std::vector<uint32_t> valuesAfterLoading (SpoolwarpAudioProcessor& processor, const std::vector<unsigned char>& bytes)
    {
        auto expected = parameterBits (processor);
        const auto size = (int64_t) bytes.size();

        if (size <= 8 || juce::ByteOrder::littleEndianInt (bytes.data()) != 0x21324356)
            return expected;

        const auto length = (int64_t) (int32_t) juce::ByteOrder::littleEndianInt (bytes.data() + 4);

        if (length <= 0)
            return expected;

        const auto* begin = reinterpret_cast<const char*> (bytes.data()) + 8;
        const std::string text (begin, std::find (begin, begin + std::min (size - 8, length), '\0'));

        if (! juce::CharPointer_UTF8::isValidString (text.c_str(), (int) text.size()))
            return expected;

        const auto xml = juce::parseXML (juce::String::fromUTF8 (text.c_str(), (int) text.size()));

        if (xml == nullptr || ! xml->getTagName().equalsIgnoreCase ("OrqPRESET"))
            return expected;

        for (const auto* child : xml->getChildIterator())
        {
            if (! child->getTagName().equalsIgnoreCase ("PARAM"))
                continue;

            const int index = SpoolwarpAudioProcessor::getIntParamIdFromTextId (child->getStringAttribute ("ID"));

            const float v = (float) child->getStringAttribute ("ValueFloat").getDoubleValue();

            if (index >= 0 && std::isfinite (v))
                std::memcpy (&expected[(size_t) index], &v, sizeof (v));
        }

        return expected;
    }
}

TEST (StateRobustness, SaveLoadSaveGivesIdenticalBytes)
{
    std::mt19937 random (31);
    SpoolwarpAudioProcessor source, target;

    for (int trial = 0; trial < 2000; ++trial)
    {
        randomise (source, random);
        const auto first = stateOf (source);

        randomise (target, random);
        loadState (target, first);
        ASSERT_EQ (parameterBits (target), parameterBits (source)) << "trial " << trial;
        ASSERT_EQ (stateOf (target), first) << "trial " << trial;
    }
}

TEST (StateRobustness, ValueMidiOfHugeValuesIsInt32Min)
{
    const float values[] = { std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), 3.0e7f, -3.0e7f };

    for (const float v : values)
    {
        SpoolwarpAudioProcessor processor;
        processor.params[2]->setValue (v);   // a knob
        processor.params[8]->setValue (v);   // a switch (range 1): only beyond the int range
        const auto xml = juce::AudioProcessor::getXmlFromBinary (stateOf (processor).data(), (int) stateOf (processor).size());
        ASSERT_NE (xml, nullptr);

        const bool switchOverflows = ! (std::abs (v) < 2147483648.0f);
        EXPECT_EQ (xml->getChildElement (2)->getStringAttribute ("ValueMidi"), "-2147483648") << v;
        EXPECT_EQ (xml->getChildElement (8)->getStringAttribute ("ValueMidi"),
                   switchOverflows ? juce::String ("-2147483648") : juce::String ((int) v))
            << v;
    }
}

TEST (StateRobustness, MutatedBlocksChangeNothingUnlessTheyAreStates)
{
    std::mt19937 random (4321);
    SpoolwarpAudioProcessor source, target;
    int accepted = 0;

    for (int trial = 0; trial < 30000; ++trial)
    {
        randomise (source, random);
        auto bytes = stateOf (source);

        switch (trial % 6)
        {
            case 0:   // a few bit flips anywhere, header included
            case 1:
                for (int flips = 1 + (int) (random() % 4); --flips >= 0;)
                    bytes[random() % bytes.size()] ^= (unsigned char) (1u << (random() % 8));
                break;
            case 2:   // truncated
                bytes.resize (random() % bytes.size());
                break;
            case 3:   // a different length field
                bytes[4 + random() % 4] = (unsigned char) random();
                break;
            case 4:   // garbage bytes after a valid header
                for (size_t i = 8; i < bytes.size(); ++i)
                    if (random() % 16 == 0)
                        bytes[i] = (unsigned char) random();
                break;
            default:   // markup cut and spliced
            {
                const auto from = 8 + random() % (bytes.size() - 8);
                const auto to = 8 + random() % (bytes.size() - 8);
                const auto length = random() % 64;
                for (size_t i = 0; i < length && from + i < bytes.size() && to + i < bytes.size(); ++i)
                    bytes[to + i] = bytes[from + i];
                break;
            }
        }

        randomise (target, random);
        const auto before = parameterBits (target);
        const auto expected = valuesAfterLoading (target, bytes);
        loadState (target, bytes);
        ASSERT_EQ (parameterBits (target), expected) << "trial " << trial;
        accepted += parameterBits (target) != before ? 1 : 0;
    }

    EXPECT_GT (accepted, 5000);   // the mutations leave many blocks valid
}

TEST (StateRobustness, GarbageNeverChangesAParameter)
{
    const std::string garbage[] = {
        "",
        "<",
        ">",
        "<<<<",
        "</OrqPRESET>",
        "<OrqPRESET",
        "<OrqPRESET><PARAM ID=\"pot_inl\" ValueFloat=\"0.5\"",
        "<?xml",
        "<?xml version=\"1.0\"",
        "<!-- <OrqPRESET><PARAM ID=\"pot_inl\" ValueFloat=\"0.5\"/></OrqPRESET>",
        "<OrqPRESET><PARAM ID=\"pot_inl\" ValueFloat=\"0.5\"/>",
        "<![CDATA[<OrqPRESET>]]>",
        "&#x",
        "<OrqPRESET>&#x",
        "<OrqPRESET>&#",
        "<OrqPRESET>&",
        "<OrqPRESET ID='",
        "\xff\xfe\xfd",
        "<OrqPRESET>\xc3",
        "<Other><PARAM ID=\"pot_inl\" ValueFloat=\"0.5\"/></Other>",
    };

    for (const auto& text : garbage)
    {
        SpoolwarpAudioProcessor processor;
        processor.params[0]->setValue (0.25f);
        loadState (processor, wrapState (text));

        auto truncated = wrapState (text);
        truncated.pop_back();   // no final zero byte
        loadState (processor, truncated);

        EXPECT_EQ (processor.params[0]->getValue(), 0.25f) << text;
    }
}
