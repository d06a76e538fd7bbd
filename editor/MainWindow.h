#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <juce_opengl/juce_opengl.h>

#include <functional>
#include <memory>
#include <vector>

#include "FilmStrip.h"
#include "OrqAboutScreen.h"

class SpoolwarpAudioProcessor;

/** True for a mouse event that asks for a pop-up: the right button, or the control key held. */
bool isPopupClick (const juce::MouseEvent& e) noexcept;

//==============================================================================
/** A knob drawn from a vertical film strip of 97 equal frames, one per value step. */
class ImgRotaryKnob : public juce::Slider, private FilmStrip
{
public:
    /** The strip always has 97 frames; the second argument is ignored. */
    ImgRotaryKnob (juce::Image image, int numFrames);
    ~ImgRotaryKnob() override;

    /** Shows the value bubble, as a child of parent, while the knob is dragged, and also for a
        wheel step (until 2000 ms after the last) and a click that sets the double-click value.
    */
    void enableValueBubble (juce::Component& parent);

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel) override;
    void paint (juce::Graphics& g) override;

    /** The pop-up bubble's text: the value suffix kept by the panel, whatever the value. */
    juce::String getTextFromValue (double value) override;

private:
    void showBubbleAsOnHover (const juce::MouseEvent& e);

    juce::Component* bubbleParent = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ImgRotaryKnob)
};

//==============================================================================
/** A two-position switch drawn from a film strip; a plain click toggles it on release. */
class ImgToggleButton : public juce::ToggleButton, private FilmStrip
{
public:
    ImgToggleButton (juce::Image image, int numFrames);
    ~ImgToggleButton() override;

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void paint (juce::Graphics& g) override;

    /** Called for a pop-up click instead of toggling, when set. */
    std::function<void()> onRightClick;

private:
    bool isPressed = false;
    int currentFrame = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ImgToggleButton)
};

//==============================================================================
/** A picture, or one frame of a film strip chosen by a value from 0 to 1. */
class StaticImage : public juce::Component, private FilmStrip
{
public:
    StaticImage (juce::Image image, int numFrames);
    ~StaticImage() override;

    /** Selects frame (int) ((numFrames - 1) * value) without repainting, and returns the area, in
        this component's coordinates, that must be repainted to show it: empty when the frame stays;
        otherwise, when the picture is drawn one pixel to one device pixel, the part of it that
        differs between any two frames, and the whole picture when it is drawn scaled.
    */
    juce::Rectangle<int> selectFrame (float value);

    /** Shows frame (int) ((numFrames - 1) * value), repainting only the area that selectFrame returns. */
    void setValue (float value);

    void paint (juce::Graphics& g) override;

private:
    int currentFrame = 0;
    juce::Rectangle<int> changingArea;
    juce::RectangleList<int> drawnArea;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StaticImage)
};

//==============================================================================
/** The front panel in fixed 879 x 646 coordinates: images, knobs, switches, help overlay and
    about box, bound to the processor's parameters and refreshed from them every 50 ms.
*/
class MainWindow : public juce::Component, public juce::Slider::Listener, public juce::Button::Listener, public juce::Timer
{
public:
    explicit MainWindow (SpoolwarpAudioProcessor& processor);
    ~MainWindow() override;

    void mouseUp (const juce::MouseEvent& e) override;
    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;
    void sliderValueChanged (juce::Slider* slider) override;
    void buttonClicked (juce::Button* button) override;

private:
    void addImageChild (StaticImage& child, juce::Rectangle<int> bounds);
    void addControlChild (juce::Component& control, juce::Rectangle<int> bounds, int row);
    void addParameterExtra();
    void refreshValueSuffix (juce::Slider& knob, int row);
    void showPopupMenu();
    void performMenuItem (int itemId);
    void setWindowSize (int itemId);
    void showAgainWhereUncovered();

    SpoolwarpAudioProcessor& processorRef;
    juce::OpenGLContext openGLContext;
    std::unique_ptr<StaticImage> tapeStrip;
    std::unique_ptr<StaticImage> rollerTop;
    std::unique_ptr<StaticImage> rollerBottom;
    std::unique_ptr<StaticImage> pressurePad;
    std::unique_ptr<StaticImage> motorLamp;
    std::unique_ptr<StaticImage> serviceSticker;
    std::unique_ptr<StaticImage> helpOverlay;
    std::unique_ptr<ImgRotaryKnob> inputLeftKnob;
    std::unique_ptr<ImgRotaryKnob> inputRightKnob;
    std::unique_ptr<ImgRotaryKnob> swellKnob;
    std::unique_ptr<ImgRotaryKnob> repeatKnob;
    std::unique_ptr<ImgRotaryKnob> toneKnob;
    std::unique_ptr<ImgRotaryKnob> speedKnob;
    std::unique_ptr<ImgToggleButton> delayOnOffSwitch;
    std::unique_ptr<ImgToggleButton> head1Switch;
    std::unique_ptr<ImgToggleButton> head2Switch;
    std::unique_ptr<ImgToggleButton> head3Switch;
    std::unique_ptr<ImgToggleButton> toneDefeatSwitch;
    std::unique_ptr<OrqAboutScreen> aboutBox;

    // Screen bounds, at the last tick, of the window holding the panel and of the application's
    // other windows that were showing.
    juce::Rectangle<int> ownWindow;
    std::vector<juce::Rectangle<int>> otherWindows, otherWindowsNow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
