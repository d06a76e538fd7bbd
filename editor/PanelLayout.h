#pragma once

#include <juce_graphics/juce_graphics.h>

/** The front panel's geometry in its own pixels: the one source for the editor and for the
    program that draws the panel's artwork.
*/
namespace PanelLayout
{
    /** The panel's design size, in which the main window lays out its children. */
    constexpr int width = 879;
    constexpr int height = 646;

    /** The bounds of the panel's pictures; each widget is one frame of its film strip in size. */
    inline const juce::Rectangle<int> sticker { 405, 456, 215, 58 };
    inline const juce::Rectangle<int> tapeWindow { 118, 80, 590, 222 };
    inline const juce::Rectangle<int> rollerTop { 149, 82, 60, 60 };
    inline const juce::Rectangle<int> rollerBottom { 124, 233, 60, 60 };
    inline const juce::Rectangle<int> pad { 118, 80, 110, 222 };
    inline const juce::Rectangle<int> lamp { 257, 395, 85, 85 };

    /** The six knobs, for the parameter table's rows 0 to 5 in order. */
    inline const juce::Rectangle<int> knobs[] { { 80, 395, 85, 85 },  { 169, 395, 85, 85 }, { 624, 395, 85, 85 },
                                                { 713, 395, 85, 85 }, { 624, 484, 85, 85 }, { 713, 484, 85, 85 } };

    /** The motor switch, for the parameter table's row delayOnOffRow. */
    inline const juce::Rectangle<int> motorSwitch { 460, 73, 48, 48 };
    constexpr int delayOnOffRow = 10;

    /** The head and tone switches, for the parameter table's rows firstHeadSwitchRow on. */
    inline const juce::Rectangle<int> headSwitches[] { { 443, 374, 41, 56 },
                                                       { 485, 374, 41, 56 },
                                                       { 526, 374, 41, 56 },
                                                       { 567, 374, 41, 56 } };
    constexpr int firstHeadSwitchRow = 6;

    /** The nameplate: a plain click on it opens the about box. */
    inline const juce::Rectangle<int> nameplate { 372, 434, 238, 108 };

    /** The frame counts of the film strips. */
    constexpr int tapeFrames = 49;
    constexpr int rollerFrames = 25;
    constexpr int knobFrames = 97;
    constexpr int switchFrames = 2;
    constexpr int lampFrames = 2;

    /** The window's size at a scale of tenths / 10 (the pop-up menu's 70 % to 130 %): each side
        multiplied in single precision and truncated, so 70 % is 615 x 452 and 130 % 1142 x 839.
    */
    inline juce::Point<int> sizeAtTenths (int tenths) noexcept
    {
        const auto scale = (float) tenths * 0.1f;
        return { (int) ((float) width * scale), (int) (scale * (float) height) };
    }
}
