#include "ArtKit.h"

namespace artkit
{

    namespace
    {
        const auto cream = juce::Colour (0xffeae2c8);
        const auto ink = juce::Colour (0xff151515);
        const auto signalRed = juce::Colour (0xffb3261e);

        constexpr float seamY = 326.0f;
        const juce::Rectangle<float> outer { 0.0f, 0.0f, 879.0f, 646.0f };
        const juce::Rectangle<float> face { 14.0f, 14.0f, 851.0f, 618.0f };
        const juce::Rectangle<float> controlDeck { 14.0f, seamY, 851.0f, 632.0f - seamY };

        juce::Point<float> knobCentre (const layout::Control& knob)
        {
            return knob.bounds.toFloat().getCentre();
        }

        //==============================================================================
        Rgba hammertone (const ValueNoise& noise, float x, float y)
        {
            auto height = [&] (float hx, float hy) { return noise.fractal (hx / 5.5f, hy / 5.5f, 2); };

            const auto gx = height (x + 0.7f, y) - height (x - 0.7f, y);
            const auto gy = height (x, y + 0.7f) - height (x, y - 0.7f);
            const auto light = juce::jlimit (-1.0f, 1.0f, -(gx * 0.6f + gy * 0.8f) * 3.2f);
            const auto cloud = noise.fractal (x / 90.0f + 40.0f, y / 90.0f, 2) - 0.5f;

            const Rgba base { 0.255f, 0.345f, 0.295f, 1.0f };
            const auto sparkle = noise.at (x * 1.7f + 60.0f, y * 1.7f) > 0.93f ? 0.05f : 0.0f;
            auto c = base.scaled (1.0f + 0.16f * light + 0.10f * cloud);
            return c.plus (0.06f * std::pow (clamp01 (light), 2.0f) + sparkle);
        }

        Rgba brushedAluminium (const ValueNoise& noise, float x, float y)
        {
            const auto streak = noise.fractal (x * 0.012f, y * 1.3f, 4) - 0.5f;
            const auto grain = noise.at (x * 0.9f + 100.0f, y * 2.1f) - 0.5f;
            const auto sheen = 0.05f * std::cos ((x - 300.0f) / 879.0f * 3.0f) - 0.03f * (y - seamY) / 300.0f;
            const auto v = 0.73f + 0.085f * streak + 0.025f * grain + sheen;
            return { v * 0.985f, v * 0.99f, v, 1.0f };
        }

        Rgba chromeRing (float dist, float r0, float r1, float nyFacing)
        {
            // a polished bevel: bright where it faces the light above, dark below
            const auto t = clamp01 ((dist - r0) / (r1 - r0));
            const auto level = 0.55f + 0.35f * -nyFacing * (1.0f - t) + 0.15f * std::sin (t * 3.14159f);
            return Rgba::grey (clamp01 (level)).withAlpha (1.0f);
        }

        //==============================================================================
        void paintSurfaces (juce::Image& panel, const ValueNoise& noise)
        {
            shade (panel, panel.getBounds(), 1,
                   [&] (float x, float y)
                   {
                // dark trim with a soft bevel towards its outer edge
                const auto outerD = roundedRectDistance (x, y, outer, 16.0f);
                const auto edge = clamp01 (-outerD / 14.0f);
                auto c = Rgba { 0.105f, 0.098f, 0.09f, 1.0f }.scaled (0.75f + 0.5f * std::sqrt (edge));
                c = c.plus (0.02f * (noise.at (x * 0.5f, y * 0.5f) - 0.5f)).withAlpha (coverage (outerD));

                // the faceplate: hammer paint above the seam, brushed aluminium below
                const auto faceD = roundedRectDistance (x, y, face, 7.0f);
                const auto surface = y < seamY ? hammertone (noise, x, y) : brushedAluminium (noise, x, y);
                c = surface.withAlpha (coverage (faceD)).over (c);

                // an inner shadow from the trim onto the faceplate
                c = Rgba::grey (0.0f, 0.35f * (1.0f - smoothstep (-5.0f, 0.0f, faceD)) * coverage (faceD)).over (c);

                // the seam between the two plates
                const auto seam = std::abs (y - seamY);
                if (seam < 2.5f && faceD < 0.0f)
                    c = Rgba::grey (y < seamY ? 0.05f : 0.95f, 0.8f * (1.0f - seam / 2.5f)).over (c);

                return c;
            });
        }

        void paintTapeWindow (juce::Image& panel, const ValueNoise& noise)
        {
            const auto window = layout::tapeWindow.toFloat();
            const auto bezel = window.expanded (6.0f);
            const auto tab = layout::motorTab;

            shade (panel, bezel.expanded (10.0f).getSmallestIntegerContainer(), 1,
                   [&] (float x, float y)
                   {
                const auto bezelD = roundedRectDistance (x, y, bezel, layout::windowCorner + 6.0f);
                const auto windowD = roundedRectDistance (x, y, window, layout::windowCorner);
                Rgba c;

                // shadow of the bezel on the plate
                const auto shadowD = roundedRectDistance (x - 1.0f, y - 2.0f, bezel, layout::windowCorner + 6.0f);
                c = Rgba::grey (0.0f, 0.35f * (1.0f - smoothstep (0.0f, 5.0f, shadowD)));

                // chrome bezel, lit from above
                if (bezelD < 0.5f)
                {
                    const auto facing = (y - window.getCentreY()) / (window.getHeight() * 0.5f + 6.0f);
                    auto ring = chromeRing (-windowD, 0.0f, 6.0f, juce::jlimit (-1.0f, 1.0f, facing));
                    ring = ring.scaled (0.96f + 0.08f * noise.at (x * 0.05f, y * 2.0f));
                    c = ring.withAlpha (coverage (bezelD)).over (c);
                }

                // the dark tank behind the tape
                if (windowD < 0.5f)
                {
                    const auto depth = clamp01 (-windowD / 14.0f);
                    const auto felt = noise.fractal (x * 0.45f, y * 0.45f, 2) - 0.5f;
                    const auto glow = 0.03f * (1.0f - std::abs (y - window.getCentreY()) / window.getHeight());
                    auto tank = Rgba { 0.085f, 0.082f, 0.08f, 1.0f }.plus (0.025f * felt + glow);
                    tank = tank.scaled (0.45f + 0.55f * std::sqrt (depth));
                    c = tank.withAlpha (coverage (windowD)).over (c);
                }

                // the tab that carries the motor switch, casting a shadow into the tank
                const auto tabShadowD = roundedRectDistance (x - 2.0f, y - 4.0f, tab, layout::motorTabCorner);
                if (windowD < 0.0f)
                    c = Rgba::grey (0.0f, 0.55f * (1.0f - smoothstep (-2.0f, 7.0f, tabShadowD))).over (c);

                const auto tabD = roundedRectDistance (x, y, tab, layout::motorTabCorner);
                if (tabD < 0.5f)
                {
                    auto paint = hammertone (noise, x, y);
                    const auto rim = smoothstep (-3.0f, 0.0f, tabD);
                    paint = paint.plus (y > tab.getCentreY() ? -0.08f * rim : 0.06f * rim);
                    c = paint.withAlpha (coverage (tabD)).over (c);
                }

                return c;
            });
        }

        void paintVents (juce::Image& panel)
        {
            for (int i = 0; i < 8; ++i)
            {
                const juce::Rectangle<float> slot (742.0f, 96.0f + (float) i * 24.0f, 98.0f, 9.0f);

                shade (panel, slot.expanded (3.0f).getSmallestIntegerContainer(), 2,
                       [=] (float x, float y)
                       {
                    const auto d = roundedRectDistance (x, y, slot, 4.5f);
                    const auto lip = roundedRectDistance (x, y - 1.5f, slot, 4.5f);
                    auto c = Rgba::grey (0.85f, 0.35f * coverage (lip - 1.0f) * (1.0f - coverage (d)));
                    const auto inside = 0.03f + 0.06f * clamp01 ((y - slot.getY()) / slot.getHeight());
                    return Rgba::grey (inside).withAlpha (coverage (d)).over (c);
                });
            }
        }

        void paintNameplate (juce::Image& panel, const ValueNoise& noise)
        {
            const auto plate = layout::nameplate.toFloat().reduced (1.0f);

            shade (panel, plate.expanded (5.0f).getSmallestIntegerContainer(), 2,
                   [&] (float x, float y)
                   {
                const auto d = roundedRectDistance (x, y, plate, 6.0f);
                const auto shadowD = roundedRectDistance (x - 1.5f, y - 2.5f, plate, 6.0f);
                auto c = Rgba::grey (0.0f, 0.45f * (1.0f - smoothstep (-1.0f, 4.0f, shadowD)));

                // polished border, black enamel field
                const auto border = 1.0f - smoothstep (3.5f, 4.5f, -d);
                const auto facing = (y - plate.getCentreY()) / plate.getHeight();
                const auto metal = Rgba::grey (0.78f - 0.5f * facing + 0.08f * (noise.at (x * 0.03f, y * 3.0f) - 0.5f));
                const auto enamel = Rgba { 0.06f, 0.058f, 0.055f, 1.0f }.plus (0.05f * (0.5f - (y - plate.getY()) / plate.getHeight()));
                return mix (enamel, metal, border).withAlpha (coverage (d)).over (c);
            });

            for (auto corner : { juce::Point<float> (plate.getX() + 9.0f, plate.getY() + 9.0f),
                                 juce::Point<float> (plate.getRight() - 9.0f, plate.getY() + 9.0f),
                                 juce::Point<float> (plate.getX() + 9.0f, plate.getBottom() - 9.0f),
                                 juce::Point<float> (plate.getRight() - 9.0f, plate.getBottom() - 9.0f) })
            {
                shade (panel, juce::Rectangle<float> (4.0f, 4.0f).withCentre (corner).expanded (2.0f).getSmallestIntegerContainer(), 3,
                       [=] (float x, float y)
                       {
                    const auto dx = x - corner.x, dy = y - corner.y;
                    const auto dist = std::sqrt (dx * dx + dy * dy);
                    return Rgba::grey (0.55f - 0.35f * (dx + dy) / 2.5f).withAlpha (coverage (dist - 2.3f));
                });
            }

            juce::Graphics g (panel);
            const auto silver = juce::Colour (0xffd8d6d0);
            printSpaced (g, "SPOOLWARP", plate.getCentreX(), plate.getY() + 19.0f, Fonts::serifBold (14.0f), 3.5f, silver, 0.0f);
            printSpaced (g, "TAPE ECHO UNIT   MODEL SW-3", plate.getCentreX(), plate.getY() + 55.0f, Fonts::sans (8.5f), 1.6f, silver,
                         0.0f);
            printSpaced (g, "three heads   one loop", plate.getCentreX(), plate.getY() + 69.0f, Fonts::sans (8.5f), 1.2f,
                         silver.withAlpha (0.7f), 0.0f);
            printSpaced (g, "HAND WIRED   SERIAL SW3-0417", plate.getCentreX(), plate.getBottom() - 12.0f, Fonts::sans (8.0f), 1.4f, silver,
                         0.0f);
        }

        void paintSwitchBank (juce::Image& panel)
        {
            const juce::Rectangle<float> bank (440.0f, 371.0f, 171.0f, 62.0f);

            shade (panel, bank.expanded (5.0f).getSmallestIntegerContainer(), 2,
                   [=] (float x, float y)
                   {
                const auto d = roundedRectDistance (x, y, bank, 4.0f);
                const auto lipD = roundedRectDistance (x, y - 1.5f, bank, 4.0f);
                auto c = Rgba::grey (1.0f, 0.5f * coverage (lipD - 1.0f) * (1.0f - coverage (d)));
                const auto depth = clamp01 (-d / 6.0f);
                return Rgba::grey (0.04f + 0.07f * depth).withAlpha (coverage (d)).over (c);
            });
        }

        void paintKnobWells (juce::Image& panel)
        {
            for (const auto& knob : layout::knobs)
            {
                const auto centre = knobCentre (knob);

                shade (panel, knob.bounds.expanded (2), 2,
                       [=] (float x, float y)
                       {
                    const auto dx = x - centre.x, dy = y - centre.y;
                    const auto dist = std::sqrt (dx * dx + dy * dy);
                    const auto groove = 1.0f - smoothstep (0.0f, 1.2f, std::abs (dist - 33.0f));
                    const auto lip = 1.0f - smoothstep (0.0f, 1.2f, std::abs (dist - 34.3f));
                    return Rgba::grey (0.0f, 0.35f * groove).over (Rgba::grey (1.0f, 0.35f * lip * clamp01 (dy / dist + 0.3f)));
                });
            }
        }

        void paintScales (juce::Graphics& g)
        {
            for (const auto& knob : layout::knobs)
            {
                const auto centre = knobCentre (knob);

                for (int i = 0; i <= 10; ++i)
                {
                    const auto angle = juce::degreesToRadians (-135.0f + 27.0f * (float) i);
                    const auto major = i == 0 || i == 5 || i == 10;
                    const auto dir = juce::Point<float> (std::sin (angle), -std::cos (angle));
                    const auto r0 = 35.5f, r1 = major ? 41.5f : 39.0f;
                    g.setColour (ink.withAlpha (0.9f));
                    g.drawLine ({ centre + dir * r0, centre + dir * r1 }, major ? 1.8f : 1.2f);
                }
            }
        }

        void paintLabels (juce::Graphics& g)
        {
            const auto labelFont = Fonts::sansBold (11.5f);

            for (const auto& knob : layout::knobs)
            {
                const auto centre = knobCentre (knob);
                const auto lowerRow = knob.bounds.getY() > 450;
                const auto y = lowerRow ? (float) knob.bounds.getBottom() - 2.0f : (float) knob.bounds.getY() - 17.0f;
                printText (g, knob.label, { centre.x - 50.0f, y, 100.0f, 14.0f }, labelFont, ink, juce::Justification::centred, 0.0f);
            }

            for (const auto& sw : layout::switches)
            {
                const auto area = sw.bounds.toFloat();
                const juce::String label (sw.label);

                if (label.contains (" ") && ! label.startsWith ("Head"))
                {
                    printText (g, label.upToFirstOccurrenceOf (" ", false, false),
                               { area.getX() - 8.0f, 345.0f, area.getWidth() + 16.0f, 12.0f }, Fonts::sansBold (10.0f), ink,
                               juce::Justification::centred, 0.0f);
                    printText (g, label.fromFirstOccurrenceOf (" ", false, false),
                               { area.getX() - 8.0f, 356.0f, area.getWidth() + 16.0f, 12.0f }, Fonts::sansBold (10.0f), ink,
                               juce::Justification::centred, 0.0f);
                }
                else
                {
                    printText (g, label, { area.getX() - 6.0f, 356.0f, area.getWidth() + 12.0f, 12.0f }, Fonts::sansBold (10.0f), ink,
                               juce::Justification::centred, 0.0f);
                }
            }

            // bracket over the three playback heads
            g.setColour (ink);
            g.fillRect (448.0f, 347.0f, 18.0f, 1.2f);
            g.fillRect (545.0f, 347.0f, 18.0f, 1.2f);
            g.fillRect (448.0f, 347.0f, 1.2f, 5.0f);
            g.fillRect (561.8f, 347.0f, 1.2f, 5.0f);
            printText (g, "PLAYBACK", { 466.0f, 341.0f, 79.0f, 12.0f }, Fonts::sans (8.5f), ink, juce::Justification::centred, 0.0f);

            const auto lampCentre = layout::lamp.toFloat().getCentreX();
            printText (g, "Motor", { lampCentre - 40.0f, (float) layout::lamp.getY() - 17.0f, 80.0f, 14.0f }, labelFont, ink,
                       juce::Justification::centred, 0.0f);

            // input group bracket
            g.fillRect (96.0f, 366.0f, 44.0f, 1.2f);
            g.fillRect (193.0f, 366.0f, 44.0f, 1.2f);
            printText (g, "INPUT", { 140.0f, 360.0f, 53.0f, 12.0f }, Fonts::sans (8.5f), ink, juce::Justification::centred, 0.0f);
            g.fillRect (605.0f + 42.0f - 26.0f, 366.0f, 52.0f, 1.2f);
            g.fillRect (735.0f, 366.0f, 44.0f, 1.2f);
            printText (g, "ECHO", { 673.0f, 360.0f, 62.0f, 12.0f }, Fonts::sans (8.5f), ink, juce::Justification::centred, 0.0f);
        }

        void paintWordmark (juce::Graphics& g)
        {
            printText (g, "Spoolwarp", { 46.0f, 512.0f, 320.0f, 52.0f }, Fonts::serifBold (46.0f), ink, juce::Justification::centredLeft,
                       0.0f);
            g.setColour (signalRed);
            g.fillRoundedRectangle (49.0f, 568.0f, 262.0f, 4.0f, 1.5f);
            printSpaced (g, "TAPE  ECHO", 180.0f, 592.0f, Fonts::sansBold (11.0f), 5.0f, ink, 0.0f);

            printText (g, "Motor", { (float) layout::motorSwitch.getCentreX() - 40.0f, 43.0f, 80.0f, 14.0f }, Fonts::sansBold (11.5f),
                       cream, juce::Justification::centred, 0.35f);
            printSpaced (g, "TAPE TRANSPORT", 190.0f, 58.0f, Fonts::sans (9.0f), 2.5f, cream.withAlpha (0.85f), 0.35f);
            printSpaced (g, "SPOOLWARP  SW-3", 635.0f, 58.0f, Fonts::sans (9.0f), 2.5f, cream.withAlpha (0.85f), 0.35f);
        }

        void paintTankLegend (juce::Graphics& g)
        {
            const auto faint = cream.withAlpha (0.2f);
            printSpaced (g, "ENDLESS  LOOP", 392.0f, 172.0f, Fonts::sans (9.0f), 4.0f, faint, 0.0f);
            printSpaced (g, "1/4 IN. OXIDE TAPE", 392.0f, 188.0f, Fonts::sans (7.5f), 2.5f, faint, 0.0f);

            auto chevron = [&] (juce::Point<float> at, float angle)
            {
                juce::Path p;
                p.addTriangle (-4.0f, -5.0f, -4.0f, 5.0f, 5.0f, 0.0f);
                g.setColour (cream.withAlpha (0.3f));
                g.fillPath (p, juce::AffineTransform::rotation (angle).translated (at));
            };

            const auto halfPi = juce::MathConstants<float>::halfPi;
            chevron ({ 585.0f, 272.0f }, 0.0f);
            chevron ({ 600.0f, 272.0f }, 0.0f);
            chevron ({ 665.0f, 195.0f }, -halfPi);
            chevron ({ 665.0f, 180.0f }, -halfPi);
            chevron ({ 300.0f, 106.0f }, 2.0f * halfPi);
            chevron ({ 285.0f, 106.0f }, 2.0f * halfPi);
        }

        void paintScrews (juce::Image& panel)
        {
            const juce::Point<float> screws[] = { { 36.0f, 36.0f },   { 843.0f, 36.0f },  { 64.0f, 110.0f },
                                                  { 64.0f, 272.0f },  { 790.0f, 296.0f }, { 36.0f, 348.0f },
                                                  { 843.0f, 348.0f }, { 36.0f, 610.0f },  { 843.0f, 610.0f } };
            float angle = 0.4f;

            for (auto s : screws)
            {
                drawScrew (panel, s, 6.5f, angle);
                angle += 1.13f;
            }
        }
    }

    juce::Image makePanel()
    {
        auto panel = newArgb (layout::panelWidth, layout::panelHeight);
        const ValueNoise noise (0x5b001);

        paintSurfaces (panel, noise);
        paintTapeWindow (panel, noise);
        paintVents (panel);
        paintSwitchBank (panel);
        paintKnobWells (panel);
        paintNameplate (panel, noise);
        paintScrews (panel);

        juce::Graphics g (panel);
        paintScales (g);
        paintLabels (g);
        paintWordmark (g);
        paintTankLegend (g);
        return panel;
    }

}   // namespace artkit
