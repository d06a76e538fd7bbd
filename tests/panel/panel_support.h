#pragma once

// Helpers for the panel tests: a message loop, mouse input delivered through a real window's
// peer (the same path the windowing system's events take), film-strip pixel comparison and
// a probe that drives pop-up menus while they run modally.

#include <gtest/gtest.h>

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "MainWindow.h"
#include "PluginEditor.h"
#include "PluginProcessor.h"

#include <functional>
#include <memory>
#include <vector>

namespace panel
{
    /** Runs the message loop for a while: timers, animations and asynchronous updates happen. */
    void pump (int milliseconds);

    /** Keeps a component on the desktop, at the screen's top-left corner, for the scope's life. */
    class OnDesktop
    {
    public:
        explicit OnDesktop (juce::Component& component);
        ~OnDesktop();

    private:
        juce::Component& component;
    };

    /** A mouse whose events enter through the peer of a component on the desktop. Positions are
        in the coordinates of a given component (transforms included). Every click moves the clock
        on by a second, so separate clicks never count as a double-click.
    */
    class Mouse
    {
    public:
        explicit Mouse (juce::Component& topLevel);

        void press (const juce::Component& where, juce::Point<float> position,
                    juce::ModifierKeys buttonAndKeys = juce::ModifierKeys::leftButtonModifier);
        void dragTo (const juce::Component& where, juce::Point<float> position);
        void release (const juce::Component& where, juce::Point<float> position);

        void click (const juce::Component& where, juce::Point<float> position,
                    juce::ModifierKeys buttonAndKeys = juce::ModifierKeys::leftButtonModifier);
        void doubleClick (const juce::Component& where, juce::Point<float> position);

        /** Moves to the position without a button and turns the wheel by deltaY there. */
        void wheel (const juce::Component& where, juce::Point<float> position, float deltaY);

        /** Puts the display's own pointer at the position too, for the framework's tests of what lies
            under the mouse (a hover, for example), which ask the display.
        */
        void pointAt (const juce::Component& where, juce::Point<float> position);

        /** Clicks the centre of a component. */
        void click (const juce::Component& target, juce::ModifierKeys buttonAndKeys = juce::ModifierKeys::leftButtonModifier);

        static juce::ModifierKeys right() { return juce::ModifierKeys::rightButtonModifier; }
        static juce::ModifierKeys middle() { return juce::ModifierKeys::middleButtonModifier; }
        static juce::ModifierKeys ctrlLeft() { return juce::ModifierKeys::leftButtonModifier | juce::ModifierKeys::ctrlModifier; }
        static juce::ModifierKeys altLeft() { return juce::ModifierKeys::leftButtonModifier | juce::ModifierKeys::altModifier; }

    private:
        void send (const juce::Component& where, juce::Point<float> position, juce::ModifierKeys mods);

        juce::Component& topLevel;
        juce::ModifierKeys held;
        juce::int64 clock;
    };

    /** A film strip's frame k: the rectangle (0, k * (height / frames), width, height / frames). */
    juce::Image frameOf (const juce::Image& strip, int numFrames, int frame);

    /** Renders a component alone (without its parent) at scale 1. */
    juce::Image render (juce::Component& component);

    /** True when two images have the same size and the same pixels. */
    bool samePixels (const juce::Image& a, const juce::Image& b);

    /** The frames of a strip whose pixels equal the rendered image. */
    std::vector<int> matchingFrames (const juce::Image& rendered, const juce::Image& strip, int numFrames);

    /** Succeeds when the component's rendering equals the given frame of the strip and no other
        frame, apart from frames whose artwork is identical to it.
    */
    ::testing::AssertionResult showsFrame (juce::Component& component, const juce::Image& strip, int numFrames, int frame);

    /** Counts notifications that reach the host side of a parameter. */
    class HostNotifications : private juce::AudioProcessorParameter::Listener
    {
    public:
        explicit HostNotifications (juce::AudioProcessorParameter& parameter);
        ~HostNotifications() override;

        int count = 0;
        float lastValue = -1.0f;
        int gestures = 0;   // begins and ends of change gestures

    private:
        void parameterValueChanged (int, float newValue) override;
        void parameterGestureChanged (int, bool) override { ++gestures; }

        juce::AudioProcessorParameter& parameter;
    };

    /** The rows of an open pop-up menu window, in order: header, items and separators. */
    struct MenuItemHandle
    {
        static constexpr const char* separator = "---";

        juce::String title;                    // separator for a separator
        juce::AccessibilityHandler* handler;   // null for a separator
        bool ticked;
    };

    /** Watches for pop-up menus while one runs modally; the action runs once for each menu level that
        opens (0 = the main menu, 1 = a submenu), with that level's items and its window.
    */
    class MenuProbe : private juce::Timer
    {
    public:
        using Action = std::function<void (int level, const std::vector<MenuItemHandle>& items, juce::Component& window)>;

        explicit MenuProbe (Action action);
        ~MenuProbe() override;

        int menusSeen() const noexcept { return level; }

        /** Presses the item with the given title (opens a submenu or chooses an item). */
        static void press (const std::vector<MenuItemHandle>& items, const juce::String& title);

    private:
        void timerCallback() override;

        Action action;
        int level = 0;
        juce::Array<juce::Component*> handled;
    };

    /** A processor with its editor on the desktop, the usual subject of the panel tests. */
    struct PanelFixture : public ::testing::Test
    {
        PanelFixture();
        ~PanelFixture() override;

        juce::Component& child (const juce::String& componentID) const;
        /** The main window's children as the constructor built them, bottom to top. */
        juce::Component& childAt (int index) const;
        StaticImage& image (int index) const;
        SpoolwarpAudioProcessor::OrqParameter& parameter (int row) const;

        /** Runs one 50 ms refresh of the panel, and a little more. */
        void tick() const { pump (80); }

        std::unique_ptr<SpoolwarpAudioProcessor> processor;
        std::unique_ptr<juce::AudioProcessorEditor> editor;
        MainWindow* mainWindow = nullptr;
        std::vector<juce::Component*> children;   // as built; fades add proxies above a child later
        std::unique_ptr<OnDesktop> onDesktop;
        std::unique_ptr<Mouse> mouse;
    };

    /** Indices of the main window's children, bottom to top. */
    enum ChildIndex
    {
        stickerIndex,
        tapeIndex,
        rollerTopIndex,
        rollerBottomIndex,
        padIndex,
        lampIndex,
        helpOverlayIndex = 17,
        aboutBoxIndex = 18
    };

    /** The embedded images, by the names the build gives them. */
    juce::Image embedded (const char* resourceName);

    /** Moves the calendar clock (gettimeofday, which the framework's current time reads) on by
        some days for the scope's life; the framework's timers run on another clock.
    */
    class ClockShift
    {
    public:
        explicit ClockShift (int days);
        ~ClockShift();
    };
}
