#pragma once

#include <juce_graphics/juce_graphics.h>

#include "FilmStrip.h"
#include "PanelLayout.h"

#include <functional>
#include <map>
#include <vector>

namespace artkit
{

    //==============================================================================
    /** Where the panel's parts lie, in panel pixels: the editor's layout, and what only the artwork needs. */
    namespace layout
    {
        constexpr int panelWidth = PanelLayout::width, panelHeight = PanelLayout::height;

        using PanelLayout::lamp;
        using PanelLayout::motorSwitch;
        using PanelLayout::nameplate;
        using PanelLayout::pad;
        using PanelLayout::rollerBottom;
        using PanelLayout::rollerTop;
        using PanelLayout::sticker;
        using PanelLayout::tapeWindow;

        /** The faceplate tab that reaches down into the tape window to carry the motor switch. */
        inline const juce::Rectangle<float> motorTab { 446.0f, 60.0f, 76.0f, 76.0f };
        constexpr float motorTabCorner = 12.0f;
        constexpr float windowCorner = 9.0f;

        struct Control
        {
            juce::Rectangle<int> bounds;
            const char* label;
            const char* hint;
        };

        inline const Control knobs[] = {
            { PanelLayout::knobs[0], "Input Left", "Input level, left channel" },
            { PanelLayout::knobs[1], "Input Right", "Input level, right channel" },
            { PanelLayout::knobs[2], "Swell", "Level of the echoes" },
            { PanelLayout::knobs[3], "Repeat", "Feedback: how long the echoes go on" },
            { PanelLayout::knobs[4], "Tone", "Higher is darker repeats" },
            { PanelLayout::knobs[5], "Speed", "Tape speed: faster is shorter delay" },
        };

        inline const Control switches[] = {
            { PanelLayout::headSwitches[0], "Head 1", "" },
            { PanelLayout::headSwitches[1], "Head 2", "" },
            { PanelLayout::headSwitches[2], "Head 3", "" },
            { PanelLayout::headSwitches[3], "Tone Defeat", "" },
        };

        /** The tape loop's geometry in tape-strip pixels. */
        inline const juce::Point<float> topRollerCentre { 61.0f, 32.0f };
        inline const juce::Point<float> bottomRollerCentre { 36.0f, 183.0f };
        constexpr float tapeWrapRadius = 26.5f;   // tape centre line around each roller
        constexpr float tapeWidth = 10.0f;
        constexpr float rollerBodyRadius = 21.5f;
        inline const juce::Point<float> loopEndCentre { 478.0f, 107.5f };

        /** Head positions (x of the head's centre, strip pixels) along the bottom run. */
        constexpr float headX[] = { 150.0f, 206.0f, 276.0f, 346.0f, 416.0f };
        constexpr const char* headNames[] = { "E", "R", "1", "2", "3" };
    }

    //==============================================================================
    /** A straight-alpha colour in floating point. */
    struct Rgba
    {
        float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;

        static Rgba fromArgb (juce::uint32 argb);
        static Rgba grey (float level, float alpha = 1.0f) { return { level, level, level, alpha }; }

        Rgba withAlpha (float newAlpha) const { return { r, g, b, newAlpha }; }
        Rgba scaled (float factor) const { return { r * factor, g * factor, b * factor, a }; }
        Rgba plus (float amount) const { return { r + amount, g + amount, b + amount, a }; }
        Rgba over (Rgba below) const;
        juce::Colour toColour() const;
    };

    Rgba mix (Rgba a, Rgba b, float t);
    float smoothstep (float edge0, float edge1, float x);
    float clamp01 (float x);

    /** Signed distance from (x, y) to a rounded rectangle: negative inside. */
    float roundedRectDistance (float x, float y, juce::Rectangle<float> r, float radius);

    /** Coverage of an anti-aliased edge at signed distance d (negative inside). */
    inline float coverage (float d)
    {
        return clamp01 (0.5f - d);
    }

    //==============================================================================
    /** Periodic value noise on a 256 x 256 lattice, filled from a seeded juce::Random. */
    class ValueNoise
    {
    public:
        explicit ValueNoise (juce::int64 seed);

        float at (float x, float y) const;                     // 0..1
        float fractal (float x, float y, int octaves) const;   // 0..1

    private:
        static constexpr int size = 256;
        std::vector<float> lattice;
    };

    //==============================================================================
    using Shader = std::function<Rgba (float x, float y)>;

    /** Composites the shader over the pixels of area, sampling each pixel ss x ss times. */
    void shade (juce::Image& image, juce::Rectangle<int> area, int ss, const Shader& shader);

    /** In-place separable blur (three box passes) of an ARGB image. */
    void blur (juce::Image& image, int radius);

    juce::Image newArgb (int width, int height);
    juce::Image copyOf (const juce::Image& image, juce::Rectangle<int> area);
    bool writePng (const juce::Image& image, const juce::File& file);

    //==============================================================================
    /** The DejaVu faces, loaded from their files so that the output never depends on font lookup. */
    struct Fonts
    {
        static juce::Font sans (float height);
        static juce::Font sansBold (float height);
        static juce::Font serifBold (float height);
        static juce::Font mono (float height);
        static bool loaded();
    };

    /** Silkscreen-style text: the colour itself with a faint shadow below it. */
    void printText (juce::Graphics& g, const juce::String& text, juce::Rectangle<float> area, const juce::Font& font, juce::Colour ink,
                    juce::Justification justification, float shadowAlpha = 0.25f);

    /** Draws text with extra tracking between letters, centred on centreX. */
    void printSpaced (juce::Graphics& g, const juce::String& text, float centreX, float baselineY, const juce::Font& font, float tracking,
                      juce::Colour ink, float shadowAlpha = 0.25f);

    /** A slotted screw head with its countersink, of radius r at centre. */
    void drawScrew (juce::Image& image, juce::Point<float> centre, float r, float slotAngle);

    //==============================================================================
    // The images, each made from nothing but fixed seeds.
    juce::Image makePanel();
    juce::Image makeAbout (const juce::Image& assembledPanel);   // from the panel with its parts in place
    juce::Image makeHelp();
    juce::Image makeTape();
    juce::Image makeRoller();
    juce::Image makePad();
    juce::Image makeKnob();
    juce::Image makeHeadSwitch();
    juce::Image makeMotorSwitch (const juce::Image& panel);
    juce::Image makeLamp (const juce::Image& panel);
    juce::Image makeSticker();

}   // namespace artkit
