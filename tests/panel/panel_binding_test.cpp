// Knobs and switches bound to the parameters: user gestures write the parameter and inform the
// host; the 50 ms refresh pulls values set elsewhere (MIDI, a loaded state) into the controls
// without running the listeners, and moves the tape, the rollers and the lamp.

#include "panel_support.h"

namespace
{
    constexpr float midValue = 64.0f / 127.0f;

    const float defaults[] { 1.0f, 1.0f, midValue, midValue, 1.0f, midValue, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f };

    struct SliderCalls : public juce::Slider::Listener
    {
        void sliderValueChanged (juce::Slider*) override { ++calls; }
        int calls = 0;
    };

    struct ButtonCalls : public juce::Button::Listener
    {
        void buttonClicked (juce::Button*) override { ++calls; }
        int calls = 0;
    };

    juce::String percent (float value)
    {
        return juce::String ((int) (value * 100.0f)) + "%";
    }
}

class Binding : public panel::PanelFixture
{
protected:
    Binding() { tick(); }

    juce::Slider& knob (int row) const { return dynamic_cast<juce::Slider&> (child (FxParams[row].textId)); }
    juce::Button& toggle (int row) const { return dynamic_cast<juce::Button&> (child (FxParams[row].textId)); }

    juce::Point<float> centreOf (int row) const { return child (FxParams[row].textId).getLocalBounds().toFloat().getCentre(); }

    void dragKnob (int row, float pixelsDown)
    {
        auto& k = knob (row);
        mouse->press (k, centreOf (row));
        mouse->dragTo (k, centreOf (row) + juce::Point<float> (0.0f, pixelsDown));
        mouse->release (k, centreOf (row) + juce::Point<float> (0.0f, pixelsDown));
    }
};

//==============================================================================
class KnobBinding : public Binding, public ::testing::WithParamInterface<int>
{
};

TEST_P (KnobBinding, DragWritesTheParameterInformsTheHostAndShowsThePercentage)
{
    const auto row = GetParam();
    auto& k = knob (row);
    panel::HostNotifications host (parameter (row));
    ASSERT_EQ (k.getValue(), (double) defaults[row]);

    mouse->press (k, centreOf (row));
    mouse->dragTo (k, centreOf (row) + juce::Point<float> (0.0f, 32.0f));

    const auto expected = (float) ((double) defaults[row] - 0.25);
    EXPECT_NEAR (parameter (row).getValue(), expected, 1.0e-6f);
    EXPECT_EQ (parameter (row).getValue(), (float) k.getValue());
    EXPECT_GE (host.count, 1);
    EXPECT_EQ (host.lastValue, parameter (row).getValue());

    auto* bubble = k.getCurrentPopupDisplay();
    ASSERT_NE (bubble, nullptr);
    EXPECT_EQ (bubble->getParentComponent(), mainWindow);
    EXPECT_EQ (k.getTextFromValue (k.getValue()), percent (parameter (row).getValue()));

    mouse->release (k, centreOf (row) + juce::Point<float> (0.0f, 32.0f));
    EXPECT_EQ (k.getCurrentPopupDisplay(), nullptr);
}

TEST_P (KnobBinding, DoubleClickReturnsToTheDefault)
{
    const auto row = GetParam();
    auto& k = knob (row);
    parameter (row).setValue (0.1f);
    tick();

    panel::HostNotifications host (parameter (row));
    mouse->doubleClick (k, centreOf (row));

    EXPECT_EQ (parameter (row).getValue(), defaults[row]);
    EXPECT_EQ (host.count, 1);
    EXPECT_EQ (host.lastValue, defaults[row]);
    EXPECT_EQ (k.getTextValueSuffix(), percent (defaults[row]));
    EXPECT_TRUE (k.isDoubleClickReturnEnabled());
    EXPECT_EQ (k.getDoubleClickReturnValue(), (double) defaults[row]);
}

TEST_P (KnobBinding, DoubleClickOnTheDefaultSendsNothing)
{
    const auto row = GetParam();
    panel::HostNotifications host (parameter (row));
    mouse->doubleClick (knob (row), centreOf (row));

    EXPECT_EQ (parameter (row).getValue(), defaults[row]);
    EXPECT_EQ (host.count, 0);
}

INSTANTIATE_TEST_SUITE_P (Panel, KnobBinding, ::testing::Range (0, 6),
                          [] (const auto& testInfo) { return juce::String (FxParams[testInfo.param].textId).toStdString(); });

class SwitchBinding : public Binding, public ::testing::WithParamInterface<int>
{
};

TEST_P (SwitchBinding, ClickFlipsTheParameterAndInformsTheHostOnce)
{
    const auto row = GetParam();
    panel::HostNotifications host (parameter (row));
    const auto flipped = defaults[row] > 0.0f ? 0.0f : 1.0f;

    mouse->click (toggle (row));

    EXPECT_EQ (parameter (row).getValue(), flipped);
    EXPECT_EQ (host.count, 1);
    EXPECT_EQ (host.lastValue, flipped);
    EXPECT_EQ (toggle (row).getToggleState(), flipped > 0.0f);
}

INSTANTIATE_TEST_SUITE_P (Panel, SwitchBinding, ::testing::Range (6, 11),
                          [] (const auto& testInfo) { return juce::String (FxParams[testInfo.param].textId).toStdString(); });

//==============================================================================
TEST_F (Binding, AltClickSetsTheDoubleClickValue)
{
    parameter (2).setValue (0.9f);
    tick();
    panel::HostNotifications host (parameter (2));

    mouse->click (knob (2), centreOf (2), panel::Mouse::altLeft());

    EXPECT_EQ (parameter (2).getValue(), 0.503937006f);
    EXPECT_EQ (host.count, 1);
    EXPECT_EQ (knob (2).getTextValueSuffix(), "50%");
}

TEST_F (Binding, AltClickShowsTheBubbleUntilShortlyAfterTheRelease)
{
    parameter (2).setValue (0.9f);
    tick();

    mouse->pointAt (knob (2), centreOf (2));
    mouse->press (knob (2), centreOf (2), panel::Mouse::altLeft());
    auto* bubble = knob (2).getCurrentPopupDisplay();
    ASSERT_NE (bubble, nullptr);
    EXPECT_EQ (bubble->getParentComponent(), mainWindow);
    EXPECT_EQ (knob (2).getTextFromValue (knob (2).getValue()), "50%");

    mouse->release (knob (2), centreOf (2));
    panel::pump (400);
    EXPECT_EQ (knob (2).getCurrentPopupDisplay(), nullptr);
}

TEST_F (Binding, WheelStepsShowTheBubbleUntilTwoSecondsAfterTheLast)
{
    auto& tone = knob (4);
    const std::pair<double, const char*> steps[] { { 0.85, "85%" }, { 0.70, "70%" } };
    mouse->pointAt (tone, centreOf (4));

    for (const auto& [value, text] : steps)
    {
        mouse->wheel (tone, centreOf (4), -1.0f);
        EXPECT_NEAR (parameter (4).getValue(), value, 1.0e-6);

        auto* bubble = tone.getCurrentPopupDisplay();
        ASSERT_NE (bubble, nullptr) << text;
        EXPECT_EQ (bubble->getParentComponent(), mainWindow);
        EXPECT_EQ (tone.getTextFromValue (tone.getValue()), text);
        panel::pump (1000);
    }

    ASSERT_NE (tone.getCurrentPopupDisplay(), nullptr) << "1000 ms after the last step";
    panel::pump (1400);
    EXPECT_EQ (tone.getCurrentPopupDisplay(), nullptr) << "2400 ms after the last step";
}

TEST_F (Binding, NoGestureTellsTheHostOfADragAClickOrAWheelStep)
{
    std::vector<std::unique_ptr<panel::HostNotifications>> hosts;

    for (int row = 0; row < numFxParams; ++row)
        hosts.push_back (std::make_unique<panel::HostNotifications> (parameter (row)));

    parameter (1).setValue (0.2f);
    parameter (2).setValue (0.9f);
    tick();

    dragKnob (0, 20.0f);
    mouse->doubleClick (knob (1), centreOf (1));
    mouse->click (knob (2), centreOf (2), panel::Mouse::altLeft());
    mouse->pointAt (knob (3), centreOf (3));
    mouse->wheel (knob (3), centreOf (3), -1.0f);
    mouse->click (toggle (6));

    int changes = 0;

    for (const auto& host : hosts)
    {
        EXPECT_EQ (host->gestures, 0);
        changes += host->count;
    }

    EXPECT_GE (changes, 5);
}

TEST_F (Binding, HoveringShowsNoBubble)
{
    for (int row = 0; row < 6; ++row)
    {
        mouse->pointAt (knob (row), centreOf (row));
        mouse->dragTo (knob (row), centreOf (row));
        mouse->dragTo (knob (row), centreOf (row) + juce::Point<float> (3.0f, 3.0f));
        panel::pump (300);
        EXPECT_EQ (knob (row).getCurrentPopupDisplay(), nullptr) << row;
    }
}

TEST_F (Binding, SuffixIsTheTruncatedPercentageOfTheParameterAtPress)
{
    const std::pair<float, const char*> cases[] { { 0.29f, "29%" }, { 0.999f, "99%" },          { 1.0f, "100%" },
                                                  { 0.005f, "0%" }, { 1.0e20f, "2147483647%" }, { -1.0e20f, "-2147483648%" } };

    for (const auto& [value, text] : cases)
    {
        parameter (2).setValue (value);
        tick();
        EXPECT_NE (knob (2).getTextValueSuffix(), text) << "the refresh must not touch the suffix";

        mouse->press (knob (2), centreOf (2));
        EXPECT_EQ (knob (2).getTextValueSuffix(), text);
        EXPECT_EQ (knob (2).getTextFromValue (0.0), text);
        mouse->release (knob (2), centreOf (2));
    }
}

TEST_F (Binding, SuffixAtBindingComesFromTheParameter)
{
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ (knob (row).getTextValueSuffix(), percent (defaults[row]));
}

TEST_F (Binding, ControlWhoseIdMatchesNoRowWritesNothing)
{
    std::vector<std::unique_ptr<panel::HostNotifications>> hosts;

    for (int row = 0; row < numFxParams; ++row)
        hosts.push_back (std::make_unique<panel::HostNotifications> (parameter (row)));

    auto& swell = knob (2);
    auto& head1 = toggle (6);
    swell.setComponentID ("pot_xyz");
    head1.setComponentID ("btn_hd9");

    mouse->press (swell, swell.getLocalBounds().toFloat().getCentre());
    mouse->dragTo (swell, swell.getLocalBounds().toFloat().getCentre() + juce::Point<float> (0.0f, 40.0f));
    mouse->release (swell, swell.getLocalBounds().toFloat().getCentre() + juce::Point<float> (0.0f, 40.0f));
    mouse->click (head1);

    EXPECT_NE (swell.getValue(), (double) midValue);
    EXPECT_TRUE (head1.getToggleState());

    for (int row = 0; row < numFxParams; ++row)
    {
        EXPECT_EQ (parameter (row).getValue(), defaults[row]);
        EXPECT_EQ (hosts[(size_t) row]->count, 0);
    }
}

//==============================================================================
TEST_F (Binding, MidiControllerMovesItsControlWithinOneTickWithoutListeners)
{
    SliderCalls swellCalls;
    ButtonCalls headCalls;
    knob (2).addListener (&swellCalls);
    toggle (6).addListener (&headCalls);
    panel::HostNotifications host (parameter (2));

    processor->prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> audio (2, 512);
    audio.clear();
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 7, 100), 0);
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 12, 127), 0);
    processor->processBlock (audio, midi);

    const auto swell = parameter (2).getValue();
    ASSERT_EQ (swell, 100.0f / 127.0f);
    ASSERT_EQ (host.count, 1);

    tick();

    EXPECT_EQ (knob (2).getValue(), (double) swell);
    EXPECT_TRUE (toggle (6).getToggleState());
    EXPECT_EQ (swellCalls.calls, 0);
    EXPECT_EQ (headCalls.calls, 0);
    EXPECT_EQ (host.count, 1);
    EXPECT_EQ (knob (2).getTextValueSuffix(), "50%");

    knob (2).removeListener (&swellCalls);
    toggle (6).removeListener (&headCalls);
}

TEST_F (Binding, LoadedStateReachesEveryControlWithoutNotifications)
{
    SpoolwarpAudioProcessor source;
    const float loaded[] { 0.25f, 0.5f, 0.75f, 0.125f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f, 0.0f };

    for (int row = 0; row < numFxParams; ++row)
        source.params[row]->setValue (loaded[row]);

    juce::MemoryBlock state;
    source.getStateInformation (state);

    std::vector<std::unique_ptr<panel::HostNotifications>> hosts;

    for (int row = 0; row < numFxParams; ++row)
        hosts.push_back (std::make_unique<panel::HostNotifications> (parameter (row)));

    processor->setStateInformation (state.getData(), (int) state.getSize());
    tick();

    for (int row = 0; row < numFxParams; ++row)
    {
        SCOPED_TRACE (FxParams[row].textId);
        EXPECT_EQ (hosts[(size_t) row]->count, 0);

        if (row < 6)
            EXPECT_EQ (knob (row).getValue(), (double) loaded[row]);
        else
            EXPECT_EQ (toggle (row).getToggleState(), loaded[row] > 0.0f);
    }
}

TEST_F (Binding, SwitchFollowsAnyPositiveValueAndAClickThenWritesZero)
{
    const std::pair<float, bool> cases[] { { 0.5f, true }, { 1.0e-6f, true }, { 0.0f, false }, { -1.0f, false } };

    for (const auto& [value, on] : cases)
    {
        parameter (7).setValue (value);
        tick();
        EXPECT_EQ (toggle (7).getToggleState(), on) << value;
    }

    parameter (7).setValue (0.5f);
    tick();
    mouse->click (toggle (7));
    EXPECT_EQ (parameter (7).getValue(), 0.0f);
}

TEST_F (Binding, KnobParameterAboveOneSitsAtTheEndStop)
{
    parameter (0).setValue (0.2f);
    tick();
    parameter (0).setValue (2.0f);
    tick();

    EXPECT_EQ (knob (0).getValue(), 1.0);
    EXPECT_EQ (parameter (0).getValue(), 2.0f);
    EXPECT_TRUE (panel::showsFrame (knob (0), panel::embedded ("knob_png"), 97, 96));
}

TEST_F (Binding, LampIsLitForAnyPositiveDelayValue)
{
    const auto lampStrip = panel::embedded ("lamp_png");
    const std::pair<float, int> cases[] { { 1.0f, 1 }, { 0.0f, 0 }, { 0.001f, 1 }, { -1.0f, 0 }, { 0.5f, 1 } };

    for (const auto& [value, frame] : cases)
    {
        parameter (10).setValue (value);
        tick();
        EXPECT_TRUE (panel::showsFrame (image (panel::lampIndex), lampStrip, 2, frame)) << value;
    }
}

TEST_F (Binding, TapeAndRollersFollowTheTapePosition)
{
    const auto tapeStrip = panel::embedded ("tape_png");
    const auto rollerStrip = panel::embedded ("roller_png");
    auto& dsp = *processor->engine->dsp;
    const auto length = dsp.tapeLength;

    const std::tuple<std::uint64_t, int, int> cases[] { { 0, 0, 0 }, { length - 1, 47, 23 }, { length / 2, 24, 12 }, { 0, 0, 0 } };

    for (const auto& [position, tapeFrame, rollerFrame] : cases)
    {
        SCOPED_TRACE ("tape position " + std::to_string (position));
        dsp.tapePos = position;
        tick();

        EXPECT_TRUE (panel::showsFrame (image (panel::tapeIndex), tapeStrip, 49, tapeFrame));
        EXPECT_TRUE (panel::showsFrame (image (panel::rollerTopIndex), rollerStrip, 25, rollerFrame));
        EXPECT_TRUE (panel::showsFrame (image (panel::rollerBottomIndex), rollerStrip, 25, rollerFrame));
    }
}
