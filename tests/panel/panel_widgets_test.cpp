// Film-strip widgets: which frame each widget draws, checked on rendered pixels, and how the
// switch reacts to real mouse input.

#include "panel_support.h"

namespace
{
    // A strip whose frames are each filled with their own opaque colour.
    juce::Image numberedStrip (int width, int height, int numFrames)
    {
        juce::Image strip (juce::Image::ARGB, width, height, true);
        juce::Graphics g (strip);
        const auto frameHeight = height / numFrames;

        for (int k = 0; k < numFrames; ++k)
        {
            g.setColour (juce::Colour ((juce::uint8) (2 * k), (juce::uint8) (255 - k), (juce::uint8) (40 + k), (juce::uint8) 255));
            g.fillRect (0, k * frameHeight, width, frameHeight);
        }

        g.setColour (juce::Colours::red);
        g.fillRect (0, numFrames * frameHeight, width, height - numFrames * frameHeight);
        return strip;
    }

    int shownFrame (juce::Component& widget, const juce::Image& strip, int numFrames)
    {
        const auto frames = panel::matchingFrames (panel::render (widget), strip, numFrames);
        return frames.size() == 1 ? frames.front() : -1;
    }

    bool allPixelsAre (const juce::Image& image, juce::Colour colour)
    {
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (image.getPixelAt (x, y) != colour)
                    return false;

        return true;
    }

    struct ValueAndFrame
    {
        double value;
        int frame;
    };

    [[maybe_unused]] void PrintTo (const ValueAndFrame& v, std::ostream* out)
    {
        *out << "value " << v.value << " -> frame " << v.frame;
    }
}

//==============================================================================
class KnobFrames : public ::testing::TestWithParam<ValueAndFrame>
{
};

TEST_P (KnobFrames, ValueSelectsFrameOfTheNinetySevenFrameStrip)
{
    const auto strip = numberedStrip (85, 8245, 97);
    ImgRotaryKnob knob (strip, 5);   // the frame count argument is not used
    knob.setBounds (0, 0, 85, 85);
    knob.setValue (GetParam().value, juce::dontSendNotification);

    EXPECT_EQ (shownFrame (knob, strip, 97), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P (Panel, KnobFrames,
                          ::testing::Values (ValueAndFrame { 0.0, 0 }, ValueAndFrame { 0.5, 48 }, ValueAndFrame { 0.999, 95 },
                                             ValueAndFrame { 1.0, 96 }));

TEST (Knob, IsAContinuousZeroToOneDragKnobWithoutTextBox)
{
    ImgRotaryKnob knob (numberedStrip (10, 970, 97), 97);

    EXPECT_EQ (knob.getSliderStyle(), juce::Slider::RotaryHorizontalVerticalDrag);
    EXPECT_EQ (knob.getTextBoxPosition(), juce::Slider::NoTextBox);
    EXPECT_EQ (knob.getMinimum(), 0.0);
    EXPECT_EQ (knob.getMaximum(), 1.0);
    EXPECT_EQ (knob.getInterval(), 0.0);
    EXPECT_EQ (knob.getMouseDragSensitivity(), 128);
    EXPECT_FALSE (knob.getSliderSnapsToMousePosition());
    EXPECT_FALSE (knob.getVelocityBasedMode());
}

TEST (Knob, ValueTextIsTheSuffixAlone)
{
    ImgRotaryKnob knob (numberedStrip (10, 970, 97), 97);
    knob.setTextValueSuffix ("42%");

    EXPECT_EQ (knob.getTextFromValue (0.7), "42%");
    EXPECT_EQ (knob.getTextFromValue (0.0), "42%");
}

TEST (Knob, InvalidImageDrawsNothing)
{
    ImgRotaryKnob knob (juce::Image(), 97);
    knob.setBounds (0, 0, 12, 12);
    knob.setValue (0.5, juce::dontSendNotification);

    EXPECT_TRUE (allPixelsAre (panel::render (knob), juce::Colours::transparentBlack));
}

//==============================================================================
class StaticImageFrames : public ::testing::TestWithParam<std::tuple<int, float, int>>
{
};

TEST_P (StaticImageFrames, ValueSelectsFrame)
{
    const auto [numFrames, value, frame] = GetParam();
    const auto strip = numberedStrip (20, numFrames * 7, numFrames);
    StaticImage image (strip, numFrames);
    image.setBounds (0, 0, 20, 7);
    image.setValue (value);

    EXPECT_EQ (shownFrame (image, strip, numFrames), frame);
}

INSTANTIATE_TEST_SUITE_P (Panel, StaticImageFrames,
                          ::testing::Values (std::make_tuple (49, 0.0f, 0), std::make_tuple (49, 0.5f, 24),
                                             std::make_tuple (49, 0.99999f, 47), std::make_tuple (49, 1.0f, 48),
                                             std::make_tuple (25, 0.9999959f, 23), std::make_tuple (2, 0.0f, 0),
                                             std::make_tuple (2, 1.0f, 1)));

TEST (StaticImage, ShowsFrameZeroUntilItsFirstValue)
{
    const auto strip = numberedStrip (20, 49 * 7, 49);
    StaticImage image (strip, 49);
    image.setBounds (0, 0, 20, 7);

    EXPECT_EQ (shownFrame (image, strip, 49), 0);
}

TEST (StaticImage, HeightNotAMultipleOfFramesLeavesTheRemainderUnused)
{
    // 49 frames in 348 rows: frames are 7 rows high, the last 5 rows (red) never show.
    const auto strip = numberedStrip (20, 348, 49);
    StaticImage image (strip, 49);
    image.setBounds (0, 0, 20, 12);
    image.setValue (1.0f);

    const auto rendered = panel::render (image);
    const auto expected = panel::frameOf (strip, 49, 48);

    EXPECT_EQ (expected.getHeight(), 7);
    EXPECT_TRUE (panel::samePixels (rendered.getClippedImage ({ 0, 0, 20, 7 }), expected));
    EXPECT_TRUE (allPixelsAre (rendered.getClippedImage ({ 0, 7, 20, 5 }), juce::Colours::transparentBlack));
}

TEST (StaticImage, InvalidImagePaintsSolidBlack)
{
    StaticImage image (juce::Image(), 3);
    image.setBounds (0, 0, 9, 5);
    image.setValue (0.5f);

    EXPECT_TRUE (allPixelsAre (panel::render (image), juce::Colours::black));
}

//==============================================================================
namespace
{
    // The bounds of the pixels in which two frames of a strip differ.
    juce::Rectangle<int> differingPixels (const juce::Image& strip, int numFrames, int a, int b)
    {
        const auto frameA = panel::frameOf (strip, numFrames, a);
        const auto frameB = panel::frameOf (strip, numFrames, b);
        juce::Rectangle<int> area;

        for (int y = 0; y < frameA.getHeight(); ++y)
            for (int x = 0; x < frameA.getWidth(); ++x)
                if (frameA.getPixelAt (x, y) != frameB.getPixelAt (x, y))
                    area = area.getUnion ({ x, y, 1, 1 });

        return area;
    }

    float valueOfFrame (int frame, int numFrames)
    {
        return ((float) frame + 0.5f) / ((float) numFrames - 1.0f);
    }
}

// The area a frame change repaints: within the picture, holding every pixel that changes, and, for
// a strip whose frames differ in one corner only, no more than the changing pixels' bounds.
TEST (StaticImage, FrameChangeRepaintsWhatChangesWhenDrawnOneToOne)
{
    auto corner = numberedStrip (40, 30 * 4, 4);

    for (int k = 0; k < 4; ++k)
        corner.clear ({ 0, k * 30, 40, 30 }, juce::Colours::darkgrey);

    for (int k = 0; k < 4; ++k)
        corner.clear ({ 30, k * 30 + 20, 5 + k, 6 }, juce::Colour ((juce::uint8) (60 * k), 10, 200));

    const std::tuple<const char*, juce::Image, int, int, int> cases[] {
        { "corner", corner, 4, 0, 3 },
        { "corner", corner, 4, 2, 1 },
        { "tape", panel::embedded ("tape_png"), 49, 0, 1 },
        { "tape", panel::embedded ("tape_png"), 49, 47, 0 },
        { "roller", panel::embedded ("roller_png"), 25, 23, 0 },
        { "lamp", panel::embedded ("lamp_png"), 2, 0, 1 },
    };

    for (const auto& [name, strip, numFrames, from, to] : cases)
    {
        SCOPED_TRACE (juce::String (name) + " " + juce::String (from) + " -> " + juce::String (to));
        StaticImage image (strip, numFrames);
        image.setBounds (0, 0, strip.getWidth(), strip.getHeight() / numFrames);
        image.selectFrame (valueOfFrame (from, numFrames));

        EXPECT_TRUE (image.selectFrame (valueOfFrame (from, numFrames)).isEmpty());

        const auto area = image.selectFrame (valueOfFrame (to, numFrames));
        EXPECT_TRUE (image.getLocalBounds().contains (area));
        EXPECT_TRUE (area.contains (differingPixels (strip, numFrames, from, to)));
        EXPECT_TRUE (panel::showsFrame (image, strip, numFrames, to));
    }

    StaticImage image (corner, 4);
    image.setBounds (0, 0, 40, 30);
    EXPECT_EQ (image.selectFrame (valueOfFrame (2, 4)), juce::Rectangle<int> (30, 20, 8, 6));
}

TEST (StaticImage, FrameChangeRepaintsTheWholePictureWhenScaled)
{
    const auto strip = panel::embedded ("tape_png");
    juce::Component parent;
    StaticImage image (strip, 49);
    parent.addAndMakeVisible (image);
    image.setBounds (0, 0, 590, 222);
    parent.setTransform (juce::AffineTransform::scale (1142.0f / 879.0f));

    EXPECT_EQ (image.selectFrame (valueOfFrame (3, 49)), image.getLocalBounds());
}

// Sparse pictures are drawn through the part of them that is not transparent; every pixel of the
// frame must still come out.
TEST (StaticImage, SparsePicturesAreDrawnWhole)
{
    const std::tuple<const char*, int, int> cases[] { { "tape_png", 49, 30 }, { "pad_png", 1, 0 }, { "help_png", 1, 0 } };

    for (const auto& [name, numFrames, frame] : cases)
    {
        SCOPED_TRACE (name);
        const auto strip = panel::embedded (name);
        const auto expected = panel::frameOf (strip, numFrames, frame);
        StaticImage image (strip, numFrames);
        image.setBounds (expected.getBounds());
        image.setValue (valueOfFrame (frame, numFrames));

        EXPECT_TRUE (panel::samePixels (panel::render (image), expected));
    }
}

//==============================================================================
namespace
{
    struct ClickCounter : public juce::Button::Listener
    {
        void buttonClicked (juce::Button*) override { ++clicks; }
        int clicks = 0;
    };

    // A switch in a window of its own, clicked through the window's peer.
    struct SwitchFixture : public ::testing::Test
    {
        SwitchFixture()
        {
            host.setSize (120, 120);
            host.addAndMakeVisible (toggle);
            toggle.setBounds (10, 10, 41, 56);
            toggle.addListener (&counter);
            onDesktop = std::make_unique<panel::OnDesktop> (host);
            mouse = std::make_unique<panel::Mouse> (host);
        }

        ~SwitchFixture() override
        {
            mouse.reset();
            onDesktop.reset();
        }

        int frame() { return shownFrame (toggle, strip, 2); }

        const juce::Image strip = numberedStrip (41, 112, 2);
        juce::Component host;
        ImgToggleButton toggle { strip, 2 };
        ClickCounter counter;
        std::unique_ptr<panel::OnDesktop> onDesktop;
        std::unique_ptr<panel::Mouse> mouse;
    };
}

TEST_F (SwitchFixture, StartsOffOnFrameZero)
{
    EXPECT_FALSE (toggle.getToggleState());
    EXPECT_EQ (frame(), 0);
    EXPECT_TRUE (toggle.getClickingTogglesState());
}

TEST_F (SwitchFixture, ToggleHappensOnReleaseNotOnPress)
{
    const auto centre = toggle.getLocalBounds().toFloat().getCentre();

    mouse->press (toggle, centre);
    EXPECT_FALSE (toggle.getToggleState());
    EXPECT_EQ (frame(), 0);
    EXPECT_EQ (counter.clicks, 0);

    mouse->release (toggle, centre);
    EXPECT_TRUE (toggle.getToggleState());
    EXPECT_EQ (frame(), 1);
    EXPECT_EQ (counter.clicks, 1);

    mouse->click (toggle);
    EXPECT_FALSE (toggle.getToggleState());
    EXPECT_EQ (frame(), 0);
    EXPECT_EQ (counter.clicks, 2);
}

TEST_F (SwitchFixture, PopupClicksChangeNothing)
{
    int rightClicks = 0;

    for (auto buttons : { panel::Mouse::right(), panel::Mouse::ctrlLeft() })
    {
        mouse->click (toggle, buttons);
        EXPECT_FALSE (toggle.getToggleState());
        EXPECT_EQ (counter.clicks, 0);
        EXPECT_EQ (frame(), 0);
    }

    toggle.onRightClick = [&rightClicks] { ++rightClicks; };
    mouse->click (toggle, panel::Mouse::right());
    mouse->click (toggle, panel::Mouse::ctrlLeft());

    EXPECT_EQ (rightClicks, 2);
    EXPECT_FALSE (toggle.getToggleState());
    EXPECT_EQ (counter.clicks, 0);
}

TEST_F (SwitchFixture, PressDraggedOffAndReleasedOutsideTogglesOnce)
{
    mouse->press (toggle, { 20.0f, 28.0f });
    mouse->dragTo (host, { 100.0f, 110.0f });
    mouse->release (host, { 110.0f, 115.0f });

    EXPECT_TRUE (toggle.getToggleState());
    EXPECT_EQ (counter.clicks, 1);
    EXPECT_EQ (frame(), 1);
}

TEST_F (SwitchFixture, StateSetWithoutNotificationShowsAtOnceUnlessHeld)
{
    toggle.setToggleState (true, juce::dontSendNotification);
    EXPECT_EQ (frame(), 1);

    toggle.setToggleState (false, juce::dontSendNotification);
    EXPECT_EQ (frame(), 0);

    const auto centre = toggle.getLocalBounds().toFloat().getCentre();
    mouse->press (toggle, centre);
    toggle.setToggleState (true, juce::dontSendNotification);
    EXPECT_EQ (frame(), 0);

    mouse->release (toggle, centre);
    EXPECT_FALSE (toggle.getToggleState());
    EXPECT_EQ (frame(), 0);
    EXPECT_EQ (counter.clicks, 1);
}

TEST_F (SwitchFixture, AfterAnyClickTheFrameFollowsAStateSetFromOutside)
{
    for (auto buttons : { juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), panel::Mouse::right(), panel::Mouse::ctrlLeft() })
    {
        mouse->click (toggle, buttons);

        for (const bool on : { true, false, true, false })
        {
            toggle.setToggleState (on, juce::dontSendNotification);
            EXPECT_EQ (frame(), on ? 1 : 0) << buttons.getRawFlags();
        }
    }
}

TEST_F (SwitchFixture, ReturnKeyOnTheFocusedSwitchToggles)
{
    mouse->click (toggle);
    ASSERT_TRUE (toggle.hasKeyboardFocus (false));

    host.getPeer()->handleKeyPress (juce::KeyPress (juce::KeyPress::returnKey));
    panel::pump (50);

    EXPECT_FALSE (toggle.getToggleState());
    EXPECT_EQ (counter.clicks, 2);
}

TEST (Switch, InvalidImageDrawsNothing)
{
    ImgToggleButton toggle (juce::Image(), 2);
    toggle.setBounds (0, 0, 12, 12);
    toggle.setToggleState (true, juce::dontSendNotification);

    EXPECT_TRUE (allPixelsAre (panel::render (toggle), juce::Colours::transparentBlack));
}
