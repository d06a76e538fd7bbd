// Checks a capture of the running application's panel against the embedded artwork: the panel
// image where no widget covers it, the knob frames that the default parameter values select, the
// tape strip, and one head switch's frame. The capture's size gives the panel's scale: 879 x 646
// at 100 %, 1142 x 840 at 130 %. At 100 % every opaque artwork pixel is compared with the capture;
// scaled, every captured pixel is compared with the artwork resampled (bilinear) at the place the
// scale maps it to, with a tolerance for the renderer's rounding, so that a wrong scale, a wrong
// frame or a missing widget fails.
//
//   panel_capture_check CAPTURE.png HEAD1_FRAME
//
// Exits 0 when every check passes; prints what it found either way.

#include <juce_graphics/juce_graphics.h>

#include "BinaryData.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
    juce::Image embedded (const char* name)
    {
        int size = 0;
        const auto* data = BinaryData::getNamedResource (name, size);
        return juce::ImageFileFormat::loadFrom (data, (size_t) size);
    }

    bool close (juce::Colour a, juce::Colour b, int tolerance = 3)
    {
        return std::abs (a.getRed() - b.getRed()) <= tolerance && std::abs (a.getGreen() - b.getGreen()) <= tolerance
               && std::abs (a.getBlue() - b.getBlue()) <= tolerance;
    }

    // Capture pixels per panel pixel, across and down; 1 at 100 %.
    juce::Point<float> scale { 1.0f, 1.0f };

    bool isScaled()
    {
        return scale != juce::Point<float> (1.0f, 1.0f);
    }

    // The frame's colour at (u, v), interpolated between its four nearest pixels; false where one
    // of them lies outside the frame or is not opaque.
    bool sampleOpaque (const juce::Image& strip, int frameTop, int frameHeight, float u, float v, juce::Colour& colour)
    {
        const auto x0 = (int) std::floor (u), y0 = (int) std::floor (v);
        const auto fx = u - (float) x0, fy = v - (float) y0;

        if (x0 < 0 || y0 < 0 || x0 + 1 >= strip.getWidth() || y0 + 1 >= frameHeight)
            return false;

        float sum[3] {};

        for (int dy = 0; dy < 2; ++dy)
        {
            for (int dx = 0; dx < 2; ++dx)
            {
                const auto tap = strip.getPixelAt (x0 + dx, frameTop + y0 + dy);

                if (tap.getAlpha() != 255)
                    return false;

                const auto weight = (dx == 0 ? 1.0f - fx : fx) * (dy == 0 ? 1.0f - fy : fy);
                sum[0] += weight * (float) tap.getRed();
                sum[1] += weight * (float) tap.getGreen();
                sum[2] += weight * (float) tap.getBlue();
            }
        }

        colour = juce::Colour ((juce::uint8) juce::roundToInt (sum[0]), (juce::uint8) juce::roundToInt (sum[1]),
                               (juce::uint8) juce::roundToInt (sum[2]));
        return true;
    }

    struct Score
    {
        int compared = 0;
        int matched = 0;

        double fraction() const { return compared == 0 ? 0.0 : (double) matched / compared; }
    };

    // Compares the opaque pixels of one strip frame, placed at origin, with the capture, skipping
    // pixels inside any of the covered rectangles (widgets drawn above it).
    Score compareFrame (const juce::Image& capture, const juce::Image& strip, int numFrames, int frame, juce::Point<int> origin,
                        const std::vector<juce::Rectangle<int>>& covered)
    {
        const auto frameHeight = strip.getHeight() / numFrames;
        Score score;

        if (isScaled())
        {
            const auto shown = juce::Rectangle<float> ((float) origin.x, (float) origin.y, (float) strip.getWidth(), (float) frameHeight)
                                   .transformedBy (juce::AffineTransform::scale (scale.x, scale.y))
                                   .getSmallestIntegerContainer();

            for (int y = shown.getY(); y < shown.getBottom(); y += 2)
            {
                for (int x = shown.getX(); x < shown.getRight(); x += 2)
                {
                    // The panel position whose colour lands on the centre of capture pixel (x, y).
                    const juce::Point<float> at (((float) x + 0.5f) / scale.x - 0.5f, ((float) y + 0.5f) / scale.y - 0.5f);
                    auto hidden = false;

                    for (const auto& r : covered)
                        hidden = hidden || r.toFloat().expanded (1.0f).contains (at);

                    juce::Colour expected;

                    if (hidden
                        || ! sampleOpaque (strip, frame * frameHeight, frameHeight, at.x - (float) origin.x, at.y - (float) origin.y,
                                           expected))
                        continue;

                    ++score.compared;
                    score.matched += close (capture.getPixelAt (x, y), expected, 6) ? 1 : 0;
                }
            }

            return score;
        }

        for (int y = 0; y < frameHeight; y += 2)
        {
            for (int x = 0; x < strip.getWidth(); x += 2)
            {
                const auto at = origin + juce::Point<int> (x, y);
                auto hidden = false;

                for (const auto& r : covered)
                    hidden = hidden || r.contains (at);

                const auto source = strip.getPixelAt (x, frame * frameHeight + y);

                if (hidden || source.getAlpha() != 255)
                    continue;

                ++score.compared;
                score.matched += close (capture.getPixelAt (at.x, at.y), source) ? 1 : 0;
            }
        }

        return score;
    }

    int bestFrame (const juce::Image& capture, const juce::Image& strip, int numFrames, juce::Point<int> origin,
                   const std::vector<juce::Rectangle<int>>& covered, double& bestFraction)
    {
        auto best = -1;
        bestFraction = -1.0;

        for (int k = 0; k < numFrames; ++k)
        {
            const auto fraction = compareFrame (capture, strip, numFrames, k, origin, covered).fraction();

            if (fraction > bestFraction)
            {
                bestFraction = fraction;
                best = k;
            }
        }

        return best;
    }

    // Every widget rectangle that is visible on the panel at start.
    const std::vector<juce::Rectangle<int>> widgets {
        { 405, 456, 215, 58 }, { 118, 80, 590, 222 }, { 118, 80, 110, 222 }, { 257, 395, 85, 85 }, { 80, 395, 85, 85 },
        { 169, 395, 85, 85 },  { 624, 395, 85, 85 },  { 713, 395, 85, 85 },  { 624, 484, 85, 85 }, { 713, 484, 85, 85 },
        { 460, 73, 48, 48 },   { 443, 374, 41, 56 },  { 485, 374, 41, 56 },  { 526, 374, 41, 56 }, { 567, 374, 41, 56 },
    };

    int failures = 0;

    void report (bool ok, const juce::String& what)
    {
        std::printf ("%s: %s\n", ok ? "ok" : "FAILED", what.toRawUTF8());
        failures += ok ? 0 : 1;
    }

    void checkKnob (const juce::Image& capture, const juce::Image& knobStrip, const char* name, juce::Point<int> origin, int expectedFrame)
    {
        double fraction = 0.0;
        const auto frame = bestFrame (capture, knobStrip, 97, origin, {}, fraction);
        report (frame == expectedFrame && fraction > 0.98, juce::String (name) + " knob shows frame " + juce::String (frame) + " ("
                                                               + juce::String (fraction * 100.0, 1) + "% of its pixels), expected frame "
                                                               + juce::String (expectedFrame));
    }
}

int main (int argc, char* argv[])
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: %s CAPTURE.png HEAD1_FRAME\n", argv[0]);
        return 2;
    }

    const auto capture = juce::ImageFileFormat::loadFrom (juce::File (juce::String (argv[1])));
    const auto head1Frame = juce::String (argv[2]).getIntValue();

    const auto size = capture.getBounds().getBottomRight();
    report (size == juce::Point<int> (879, 646) || size == juce::Point<int> (1142, 840),
            "capture is " + juce::String (size.x) + " x " + juce::String (size.y));

    if (size != juce::Point<int> (879, 646) && size != juce::Point<int> (1142, 840))
        return 1;

    // The panel is drawn into a buffer of the window's size, 879 x 646 panel pixels stretched over it.
    scale = { (float) size.x / 879.0f, (float) size.y / 646.0f };

    auto panelScore = compareFrame (capture, embedded ("panel_png"), 1, 0, {}, widgets);
    report (panelScore.compared > 50000 && panelScore.fraction() > 0.99,
            "panel image where no widget covers it: " + juce::String (panelScore.fraction() * 100.0, 2) + "% of "
                + juce::String (panelScore.compared) + " sampled pixels");

    // Default values: "Input Left", "Input Right" and "Tone" 1.0 (frame 96); the others 64/127 (frame 48).
    const auto knobStrip = embedded ("knob_png");
    checkKnob (capture, knobStrip, "Input Left", { 80, 395 }, 96);
    checkKnob (capture, knobStrip, "Swell", { 624, 395 }, 48);
    checkKnob (capture, knobStrip, "Tone", { 624, 484 }, 96);

    // The tape runs only while audio plays; whatever frame it is on must be drawn whole.
    double tapeFraction = 0.0;
    const auto tapeFrame = bestFrame (capture, embedded ("tape_png"), 49, { 118, 80 }, { { 118, 80, 110, 222 }, { 460, 73, 48, 48 } },
                                      tapeFraction);
    report (tapeFrame >= 0 && tapeFrame <= 47 && tapeFraction > 0.98,
            "tape strip shows frame " + juce::String (tapeFrame) + " (" + juce::String (tapeFraction * 100.0, 1) + "% of its pixels)");

    double switchFraction = 0.0;
    const auto switchFrame = bestFrame (capture, embedded ("switch_head_png"), 2, { 443, 374 }, {}, switchFraction);
    report (switchFrame == head1Frame && switchFraction > 0.98,
            "Head 1 switch shows frame " + juce::String (switchFrame) + ", expected frame " + juce::String (head1Frame));

    return failures == 0 ? 0 : 1;
}
