#include "ArtKit.h"

namespace artkit
{

    namespace
    {
        const auto hintPaper = juce::Colour (0xfff4ead0);
        const auto hintInk = juce::Colour (0xff2b2117);
        const auto leaderColour = juce::Colour (0xfff6d77a);

        struct Target
        {
            juce::Point<float> centre;
            float radius;
        };

        struct Hint
        {
            juce::Rectangle<float> box;
            std::vector<juce::String> lines;   // the first one in bold
            std::vector<Target> targets;
            juce::Rectangle<float> outline {};
        };

        Target knobTarget (int index)
        {
            return { layout::knobs[index].bounds.toFloat().getCentre(), 34.0f };
        }

        Target switchTarget (int index)
        {
            return { layout::switches[index].bounds.toFloat().getCentre(), 19.0f };
        }

        std::vector<Hint> hints()
        {
            const Target lamp { layout::lamp.toFloat().getCentre(), 24.0f };
            const Target motor { layout::motorSwitch.toFloat().getCentre(), 26.0f };
            const Target tape { { 420.0f, 289.0f }, 9.0f };

            return {
                { { 548.0f, 20.0f, 226.0f, 36.0f }, { "Motor", "starts and stops the tape: no tape, no echo" }, { motor } },
                { { 262.0f, 112.0f, 300.0f, 48.0f },
                  { "Tape loop", "passes the erase (E), record (R) and playback", "heads 1, 2 and 3; it runs while the motor is on" },
                  { tape } },
                { { 36.0f, 312.0f, 232.0f, 36.0f },
                  { "Input Left, Input Right", "level of each input channel" },
                  { knobTarget (0), knobTarget (1) } },
                { { 300.0f, 312.0f, 252.0f, 36.0f },
                  { "Head 1, Head 2, Head 3", "playback heads: short, middle and long echo" },
                  { switchTarget (0), switchTarget (1), switchTarget (2) } },
                { { 560.0f, 312.0f, 150.0f, 36.0f }, { "Swell", "level of the echoes" }, { knobTarget (2) } },
                { { 716.0f, 312.0f, 150.0f, 36.0f }, { "Repeat", "feedback: how long it repeats" }, { knobTarget (3) } },
                { { 560.0f, 594.0f, 150.0f, 36.0f }, { "Tone", "higher is darker repeats" }, { knobTarget (4) } },
                { { 716.0f, 594.0f, 150.0f, 36.0f }, { "Speed", "tape speed: sets the delay" }, { knobTarget (5) } },
                { { 372.0f, 552.0f, 176.0f, 36.0f }, { "Tone Defeat", "on: the Tone filter acts on the repeats" }, { switchTarget (3) } },
                { { 246.0f, 500.0f, 122.0f, 36.0f }, { "Motor lamp", "lit while the tape runs" }, { lamp } },
                { { 404.0f, 468.0f, 196.0f, 36.0f },
                  { "Nameplate", "click it to see About" },
                  {},
                  layout::nameplate.toFloat().expanded (3.0f) },
                { { 30.0f, 548.0f, 316.0f, 72.0f },
                  { "Right-click (or Ctrl-click) anywhere", "for the menu: window size, help, web site, About.",
                    "Double-click a knob to reset it; drag up or right to turn.", "Click anywhere to close this help." },
                  {} },
            };
        }

        juce::Point<float> nearestPointOnBox (juce::Rectangle<float> box, juce::Point<float> towards)
        {
            return { juce::jlimit (box.getX() + 6.0f, box.getRight() - 6.0f, towards.x),
                     juce::jlimit (box.getY(), box.getBottom(), towards.y) };
        }

        void drawLeader (juce::Graphics& g, juce::Rectangle<float> box, const Target& target)
        {
            const auto from = nearestPointOnBox (box, target.centre);
            const auto dir = (target.centre - from) / juce::jmax (1.0f, target.centre.getDistanceFrom (from));
            const auto to = target.centre - dir * target.radius;

            g.setColour (juce::Colours::black.withAlpha (0.55f));
            g.drawLine ({ from, to }, 3.2f);
            g.drawEllipse (juce::Rectangle<float> (target.radius * 2.0f, target.radius * 2.0f).withCentre (target.centre), 3.4f);

            g.setColour (leaderColour);
            g.drawLine ({ from, to }, 1.5f);
            g.drawEllipse (juce::Rectangle<float> (target.radius * 2.0f, target.radius * 2.0f).withCentre (target.centre), 1.6f);
            g.fillEllipse (juce::Rectangle<float> (5.0f, 5.0f).withCentre (to));
        }

        void drawBox (juce::Graphics& g, const Hint& hint)
        {
            g.setColour (juce::Colours::black.withAlpha (0.35f));
            g.fillRoundedRectangle (hint.box.translated (1.5f, 2.5f), 5.0f);
            g.setColour (hintPaper.withAlpha (0.95f));
            g.fillRoundedRectangle (hint.box, 5.0f);
            g.setColour (leaderColour.darker (0.6f));
            g.drawRoundedRectangle (hint.box.reduced (0.5f), 5.0f, 1.0f);

            auto y = hint.box.getY() + 4.0f;

            for (size_t i = 0; i < hint.lines.size(); ++i)
            {
                const auto font = i == 0 ? Fonts::sansBold (11.0f) : Fonts::sans (10.0f);
                printText (g, hint.lines[i], { hint.box.getX() + 8.0f, y, hint.box.getWidth() - 12.0f, 14.0f }, font, hintInk,
                           juce::Justification::centredLeft, 0.0f);
                y += i == 0 ? 15.0f : 13.5f;
            }
        }
    }

    juce::Image makeHelp()
    {
        auto help = newArgb (layout::panelWidth, layout::panelHeight);
        juce::Graphics g (help);

        // a light veil so that the hints stand out while the panel stays readable
        g.setColour (juce::Colours::black.withAlpha (0.38f));
        g.fillRoundedRectangle (help.getBounds().toFloat(), 16.0f);

        const auto all = hints();

        for (const auto& hint : all)
        {
            for (const auto& target : hint.targets)
                drawLeader (g, hint.box, target);

            if (! hint.outline.isEmpty())
            {
                g.setColour (juce::Colours::black.withAlpha (0.55f));
                g.drawRoundedRectangle (hint.outline, 8.0f, 3.4f);
                g.setColour (leaderColour);
                g.drawRoundedRectangle (hint.outline, 8.0f, 1.6f);
            }
        }

        for (const auto& hint : all)
            drawBox (g, hint);

        return help;
    }

    //==============================================================================
    juce::Image makeAbout (const juce::Image& assembledPanel)
    {
        auto about = assembledPanel.convertedToFormat (juce::Image::ARGB);
        blur (about, 5);

        const juce::Point<float> reels[] = { { 150.0f, 323.0f }, { 729.0f, 323.0f } };

        // darken towards a vignette, the two reels of a tape machine faintly behind the text box
        shade (about, about.getBounds(), 2,
               [&] (float x, float y)
               {
            const auto nx = (x - 439.5f) / 439.5f, ny = (y - 323.0f) / 323.0f;
            auto c = Rgba { 0.02f, 0.025f, 0.03f, clamp01 (0.72f + 0.2f * (nx * nx + ny * ny)) };

            for (auto reel : reels)
            {
                const auto dx = x - reel.x, dy = y - reel.y;
                const auto rho = std::sqrt (dx * dx + dy * dy);
                const auto phi = std::atan2 (dy, dx);
                const auto flange = 1.0f - smoothstep (0.0f, 1.5f, std::abs (rho - 118.0f));
                const auto pack = rho > 34.0f && rho < 96.0f ? 0.16f + 0.03f * std::sin (rho * 1.7f) : 0.0f;
                const auto hub = 1.0f - smoothstep (0.0f, 1.2f, std::abs (rho - 20.0f));
                float spoke = 0.0f;

                for (int i = 0; i < 3; ++i)
                {
                    const auto a = phi - (float) i * juce::MathConstants<float>::twoPi / 3.0f + 0.3f;
                    const auto side = std::abs (rho * std::sin (a));
                    if (rho * std::cos (a) > 20.0f && rho < 110.0f)
                        spoke = juce::jmax (spoke, 1.0f - smoothstep (9.0f, 10.5f, side));
                }

                const auto amount = juce::jmax (juce::jmax (flange * 0.35f, pack * (1.0f - spoke)),
                                                juce::jmax (hub * 0.35f, spoke * 0.08f));
                c = Rgba { 0.55f, 0.36f, 0.22f, amount }.over (c);
            }

            return c;
        });

        juce::Graphics g (about);
        const auto cream = juce::Colour (0xffeae2c8);
        printSpaced (g, "Spoolwarp", 439.5f, 150.0f, Fonts::serifBold (54.0f), 2.0f, cream.withAlpha (0.9f), 0.6f);
        g.setColour (juce::Colour (0xffb3261e));
        g.fillRoundedRectangle (320.0f, 168.0f, 239.0f, 3.0f, 1.5f);
        printSpaced (g, "TAPE  ECHO", 439.5f, 480.0f, Fonts::sansBold (13.0f), 6.0f, cream.withAlpha (0.7f), 0.6f);
        return about;
    }

}   // namespace artkit
