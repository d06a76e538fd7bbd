#include "ArtKit.h"

namespace artkit
{

    namespace
    {
        constexpr float pi = juce::MathConstants<float>::pi;
        constexpr float twoPi = juce::MathConstants<float>::twoPi;

        /** Brightness of a surface with the given normal under the fixed light from the upper left. */
        float lambert (float nx, float ny, float nz)
        {
            const float lx = -0.45f, ly = -0.65f, lz = 0.61f;
            return clamp01 (nx * lx + ny * ly + nz * lz);
        }

        float specular (float nx, float ny, float nz, float power)
        {
            // half vector between the light and the viewer
            const float hx = -0.25f, hy = -0.36f, hz = 0.9f;
            return std::pow (clamp01 (nx * hx + ny * hy + nz * hz), power);
        }

        float distanceToSegment (juce::Point<float> p, juce::Point<float> a, juce::Point<float> b)
        {
            const auto v = b - a, w = p - a;
            const auto t = clamp01 ((w.x * v.x + w.y * v.y) / (v.x * v.x + v.y * v.y));
            return p.getDistanceFrom (a + v * t);
        }

        juce::Image twoFramesOf (const juce::Image& background)
        {
            auto strip = newArgb (background.getWidth(), background.getHeight() * 2);
            juce::Graphics g (strip);
            g.drawImageAt (background, 0, 0);
            g.drawImageAt (background, 0, background.getHeight());
            return strip;
        }

        //==============================================================================
        /** A chrome bat-handle toggle: nut at centre, lever pointing up when on. */
        Rgba batToggle (float x, float y, juce::Point<float> centre, float scale, bool on, bool paddle)
        {
            const auto dx = (x - centre.x) / scale, dy = (y - centre.y) / scale;
            const auto tipY = on ? -17.0f : 17.0f;
            const juce::Point<float> p (dx, dy), base (0.0f, 0.0f), tip (0.0f, tipY);

            Rgba c;

            // shadow of the lever on the plate, thrown down and to the right
            {
                const juce::Point<float> shadowTip (4.0f, tipY + 6.0f);
                const auto sd = distanceToSegment (p, { 1.5f, 2.0f }, shadowTip) - (paddle ? 4.5f : 3.5f);
                c = Rgba::grey (0.0f, 0.45f * (1.0f - smoothstep (-1.0f, 3.5f, sd)));
            }

            // washer and hex nut
            const auto rho = std::sqrt (dx * dx + dy * dy);
            const auto washer =
                Rgba::grey (0.45f + 0.35f * lambert (dx / 12.0f, dy / 12.0f, 0.7f)).withAlpha (coverage ((rho - 11.0f) * scale));
            c = washer.over (c);

            const auto phi = std::atan2 (dy, dx);
            const auto sector = std::floor ((phi + pi / 6.0f) / (pi / 3.0f));
            const auto faceAngle = sector * (pi / 3.0f);
            const auto hexDist = rho * std::cos (phi - faceAngle);
            const auto nutShade = hexDist > 6.0f ? 0.35f + 0.55f * lambert (std::cos (faceAngle) * 0.7f, std::sin (faceAngle) * 0.7f, 0.7f)
                                                 : 0.75f;
            c = Rgba::grey (nutShade).withAlpha (coverage ((hexDist - 8.5f) * scale)).over (c);
            c = Rgba::grey (0.25f).withAlpha (coverage ((rho - 4.5f) * scale)).over (c);

            // the lever: a tapered chrome rod with a ball tip (or a flat paddle)
            const auto along = clamp01 (dy / tipY);
            const auto halfWidth = paddle ? 3.0f + 2.6f * along : 2.2f + 0.9f * along;
            const auto across = dx / halfWidth;

            if (std::abs (across) < 1.3f && (dy * tipY) >= -4.0f)
            {
                const auto leverD = (std::abs (dx) - halfWidth) * scale;
                const auto nx = juce::jlimit (-1.0f, 1.0f, across);
                const auto nz = std::sqrt (juce::jmax (0.0f, 1.0f - nx * nx));
                auto rod = Rgba::grey (0.3f + 0.55f * lambert (nx, on ? -0.3f : 0.3f, nz) + 0.5f * specular (nx, 0.0f, nz, 18.0f));
                rod = rod.scaled (0.75f + 0.25f * along);
                const auto inRange = dy * tipY <= tipY * tipY;
                c = rod.withAlpha (coverage (leverD) * (inRange ? 1.0f : 0.0f)).over (c);
            }

            const auto ballR = paddle ? 5.6f : 3.9f;
            const auto ball = p - tip;
            const auto ballRho = ball.getDistanceFromOrigin();

            if (ballRho < ballR + 1.0f)
            {
                const auto nx = ball.x / ballR, ny = ball.y / ballR;
                const auto nz = std::sqrt (juce::jmax (0.0f, 1.0f - nx * nx - ny * ny));
                const auto tipShade = Rgba::grey (0.3f + 0.6f * lambert (nx, ny, nz) + 0.6f * specular (nx, ny, nz, 24.0f));
                c = tipShade.withAlpha (coverage ((ballRho - ballR) * scale)).over (c);
            }

            return c;
        }
    }

    //==============================================================================
    juce::Image makeKnob()
    {
        constexpr int frames = PanelLayout::knobFrames;
        const int size = PanelLayout::knobs[0].getWidth();
        const float centre = (float) size * 0.5f;
        const ValueNoise noise (0x6b0b);
        auto strip = newArgb (size, size * frames);

        for (int k = 0; k < frames; ++k)
        {
            const auto angle = juce::degreesToRadians (-135.0f + 270.0f * (float) k / (float) (frames - 1));
            const juce::Point<float> pointer (std::sin (angle), -std::cos (angle));
            const auto top = (float) (k * size);

            shade (strip, { 0, k * size, size, size }, 3,
                   [=, &noise] (float x, float y)
                   {
                const auto dx = x - centre, dy = y - top - centre;
                const auto rho = std::sqrt (dx * dx + dy * dy);
                const auto phi = std::atan2 (dy, dx);

                // static soft shadow on the panel
                const auto sx = dx - 2.0f, sy = dy - 3.5f;
                auto c = Rgba::grey (0.0f, 0.5f * (1.0f - smoothstep (26.0f, 35.0f, std::sqrt (sx * sx + sy * sy))));

                if (rho > 31.5f)
                    return c;

                // aluminium skirt: concentric brushing with a fixed conical reflection
                const auto rings = noise.at (rho * 3.0f, 3.0f) - 0.5f;
                const auto cone = 0.5f + 0.5f * std::cos (2.0f * (phi + 2.2f));
                auto skirt = Rgba::grey (0.5f + 0.32f * cone + 0.06f * rings);
                skirt = skirt.scaled (1.0f - 0.45f * smoothstep (29.0f, 31.5f, rho));
                skirt = skirt.scaled (0.85f + 0.15f * smoothstep (22.0f, 25.0f, rho));

                // engraved pointer line on the skirt
                const auto along = dx * pointer.x + dy * pointer.y;
                const auto side = std::abs (-dx * pointer.y + dy * pointer.x);

                if (along > 0.0f)
                {
                    const auto line = coverage ((side - 1.3f) * 2.0f) * smoothstep (22.5f, 24.0f, rho)
                                      * (1.0f - smoothstep (29.0f, 30.0f, rho));
                    skirt = mix (skirt, Rgba::grey (0.06f), line);
                }

                c = skirt.withAlpha (coverage ((rho - 31.0f) * 2.0f)).over (c);

                // fluted bakelite cap; the flutes turn with the knob, the light does not
                const auto flutePhase = std::cos ((phi - angle) * 20.0f);
                const auto capR = 22.5f - 1.1f * (0.5f + 0.5f * flutePhase);
                const auto capShadow = coverage ((rho - capR - 1.8f) * 0.8f);
                c = Rgba::grey (0.0f, 0.35f * capShadow).over (c);

                if (rho < capR + 1.0f)
                {
                    Rgba cap;

                    if (rho > 16.5f)
                    {
                        // the fluted wall, sloping outwards
                        const auto slope = 0.55f;
                        const auto tangential = -std::sin ((phi - angle) * 20.0f) * 0.6f;
                        auto nx = std::cos (phi) * slope - std::sin (phi) * tangential;
                        auto ny = std::sin (phi) * slope + std::cos (phi) * tangential;
                        const auto nz = std::sqrt (juce::jmax (0.0f, 1.0f - nx * nx - ny * ny));
                        cap = Rgba::grey (0.05f + 0.22f * lambert (nx, ny, nz) + 0.35f * specular (nx, ny, nz, 30.0f));
                    }
                    else
                    {
                        // slightly domed top with a soft highlight and machining rings
                        const auto nx = dx / 60.0f, ny = dy / 60.0f;
                        const auto nz = std::sqrt (1.0f - nx * nx - ny * ny);
                        cap = Rgba::grey (0.07f + 0.08f * lambert (nx, ny, nz) + 0.25f * specular (nx, ny, nz, 400.0f)
                                          + 0.015f * std::sin (rho * 4.0f));
                        cap = cap.plus (0.12f * (1.0f - smoothstep (0.0f, 1.2f, std::abs (rho - 16.0f))) * clamp01 (-(dx + dy) / 20.0f));

                        // white inlaid pointer
                        if (along > 0.0f)
                        {
                            const auto inlay = coverage ((side - 1.4f) * 2.0f) * smoothstep (3.5f, 5.0f, along)
                                               * (1.0f - smoothstep (14.5f, 15.5f, along));
                            cap = mix (cap, Rgba { 0.95f, 0.93f, 0.86f, 1.0f }, inlay);
                        }
                    }

                    c = cap.withAlpha (coverage ((rho - capR) * 2.0f)).over (c);
                }

                return c;
            });
        }

        return strip;
    }

    //==============================================================================
    juce::Image makeHeadSwitch()
    {
        const int w = PanelLayout::headSwitches[0].getWidth(), h = PanelLayout::headSwitches[0].getHeight();
        auto strip = newArgb (w, h * PanelLayout::switchFrames);

        for (int frame = 0; frame < PanelLayout::switchFrames; ++frame)
        {
            const juce::Point<float> centre (20.5f, 28.0f + (float) (frame * h));
            shade (strip, { 0, frame * h, w, h }, 4, [=] (float x, float y) { return batToggle (x, y, centre, 1.0f, frame == 1, false); });
        }

        return strip;
    }

    juce::Image makeMotorSwitch (const juce::Image& panel)
    {
        auto strip = twoFramesOf (copyOf (panel, layout::motorSwitch));
        const int size = layout::motorSwitch.getWidth();

        for (int frame = 0; frame < PanelLayout::switchFrames; ++frame)
        {
            const juce::Point<float> centre (24.0f, 24.0f + (float) (frame * size));
            const auto on = frame == 1;

            shade (strip, { 0, frame * size, size, size }, 4,
                   [=] (float x, float y)
                   {
                const auto dx = x - centre.x, dy = y - centre.y;
                const auto rho = std::sqrt (dx * dx + dy * dy);

                // a round bakelite escutcheon with a chrome rim; a red ring shows while the motor is on
                const auto shadowRho = std::sqrt ((dx - 1.0f) * (dx - 1.0f) + (dy - 2.0f) * (dy - 2.0f));
                auto c = Rgba::grey (0.0f, 0.5f * (1.0f - smoothstep (19.0f, 23.5f, shadowRho)));
                const auto rimLight = lambert (dx / 22.0f, dy / 22.0f, 0.6f);
                c = Rgba::grey (0.4f + 0.5f * rimLight).withAlpha (coverage ((rho - 21.5f) * 2.0f)).over (c);
                auto plate = Rgba::grey (0.06f + 0.04f * clamp01 (-dy / 20.0f));

                if (on)
                    plate = mix (plate, Rgba { 0.85f, 0.12f, 0.08f, 1.0f }, 1.0f - smoothstep (0.0f, 1.1f, std::abs (rho - 16.5f)));
                else
                    plate = mix (plate, Rgba::grey (0.3f), 1.0f - smoothstep (0.0f, 0.8f, std::abs (rho - 16.5f)));

                c = plate.withAlpha (coverage ((rho - 19.5f) * 2.0f)).over (c);
                return batToggle (x, y, centre, 1.0f, on, true).over (c);
            });
        }

        return strip;
    }

    //==============================================================================
    juce::Image makeLamp (const juce::Image& panel)
    {
        auto strip = twoFramesOf (copyOf (panel, layout::lamp));
        const int size = layout::lamp.getWidth();
        juce::Random random (0x1a3b);
        float facetTone[64];

        for (auto& f : facetTone)
            f = random.nextFloat();

        for (int frame = 0; frame < PanelLayout::lampFrames; ++frame)
        {
            const auto lit = frame == 1;
            const juce::Point<float> centre (42.5f, 42.5f + (float) (frame * size));

            shade (strip, { 0, frame * size, size, size }, 4,
                   [=, &facetTone] (float x, float y)
                   {
                const auto dx = x - centre.x, dy = y - centre.y;
                const auto rho = std::sqrt (dx * dx + dy * dy);
                const auto phi = std::atan2 (dy, dx);
                Rgba c;

                // the glow that a lit jewel throws onto the plate
                if (lit)
                    c = Rgba { 1.0f, 0.35f, 0.12f,
                               0.5f * std::exp (-std::pow ((rho - 15.0f) / 13.0f, 2.0f)) * (rho > 15.0f ? 1.0f : 0.0f) };

                // knurled chrome bezel
                const auto shadowRho = std::sqrt ((dx - 1.5f) * (dx - 1.5f) + (dy - 2.5f) * (dy - 2.5f));
                c = Rgba::grey (0.0f, 0.5f * (1.0f - smoothstep (19.0f, 24.0f, shadowRho))).over (c);
                const auto knurl = rho > 19.0f ? 0.08f * std::sin (phi * 48.0f) : 0.0f;
                const auto slope = (rho - 16.0f) / 6.0f;
                const auto nx = std::cos (phi) * (slope - 0.3f), ny = std::sin (phi) * (slope - 0.3f);
                const auto nz = std::sqrt (juce::jmax (0.0f, 1.0f - nx * nx - ny * ny));
                auto bezel = Rgba::grey (0.3f + 0.5f * lambert (nx, ny, nz) + 0.5f * specular (nx, ny, nz, 20.0f) + knurl);

                if (lit)
                    bezel = bezel.plus (0.12f * (1.0f - clamp01 (slope)));

                c = bezel.withAlpha (coverage ((rho - 21.5f) * 2.0f)).over (c);

                // the faceted jewel
                const auto ring = rho < 6.0f ? 0 : rho < 11.0f ? 1 : 2;
                const auto sectors = ring == 0 ? 1 : ring == 1 ? 8 : 12;
                const auto sector = (int) std::floor ((phi + pi) / twoPi * (float) sectors) % sectors;
                const auto tone = facetTone[(ring * 16 + sector) & 63];
                const auto fromCentre = rho / 14.5f;

                Rgba jewel;

                if (lit)
                {
                    const auto core = std::exp (-fromCentre * fromCentre * 2.2f);
                    jewel = mix (Rgba { 0.75f, 0.08f, 0.03f, 1.0f }, Rgba { 1.0f, 0.78f, 0.45f, 1.0f }, core);
                    jewel = jewel.scaled (0.82f + 0.3f * tone);
                }
                else
                {
                    jewel = Rgba { 0.2f, 0.03f, 0.025f, 1.0f }.scaled (0.6f + 0.8f * tone * (1.0f - 0.5f * fromCentre));
                }

                // a fixed window reflection on the glass
                const auto hx = dx + 5.0f, hy = dy + 6.0f;
                const auto highlight = 1.0f - smoothstep (1.5f, 4.0f, std::sqrt (hx * hx * 1.6f + hy * hy));
                jewel = mix (jewel, Rgba::grey (1.0f), (lit ? 0.5f : 0.75f) * highlight);

                return jewel.withAlpha (coverage ((rho - 15.5f) * 2.0f)).over (c);
            });
        }

        return strip;
    }

    //==============================================================================
    juce::Image makeSticker()
    {
        const auto bounds = layout::sticker.withZeroOrigin().toFloat();
        const auto paper = bounds.reduced (2.0f).withTrimmedRight (1.0f).withTrimmedBottom (1.0f);
        const ValueNoise noise (0x571c);
        auto sticker = newArgb (layout::sticker.getWidth(), layout::sticker.getHeight());

        shade (sticker, sticker.getBounds(), 2,
               [&] (float x, float y)
               {
            const auto d = roundedRectDistance (x, y, paper, 3.0f);
            const auto shadowD = roundedRectDistance (x - 1.0f, y - 1.5f, paper, 3.0f);
            auto c = Rgba::grey (0.0f, 0.4f * (1.0f - smoothstep (-1.0f, 2.5f, shadowD)));

            // aged paper: yellowed towards the edges, rubbed and a little grimy
            const auto fibre = noise.fractal (x * 0.6f, y * 0.6f, 3) - 0.5f;
            const auto grime = smoothstep (-10.0f, 0.0f, d) * (0.5f + noise.fractal (x * 0.05f, y * 0.05f, 2));
            auto p = Rgba { 0.93f, 0.9f, 0.8f, 1.0f }.plus (0.05f * fibre);
            p = mix (p, Rgba { 0.72f, 0.64f, 0.48f, 1.0f }, clamp01 (0.45f * grime));

            // the top-right corner is lifting
            const auto lift = clamp01 ((x - paper.getRight() + 16.0f + y - paper.getY()) / 16.0f);
            p = p.scaled (1.0f - 0.12f * lift);

            // slightly ragged edges
            const auto ragged = (noise.at (x * 0.8f, y * 0.8f) - 0.5f) * 1.2f;
            return p.withAlpha (coverage (d + ragged)).over (c);
        });

        juce::Graphics g (sticker);
        const auto red = juce::Colour (0xffa82a1f), inkColour = juce::Colour (0xff2a2622), pen = juce::Colour (0xff24408f);

        g.setColour (red);
        g.fillRect (juce::Rectangle<float> (paper.getX() + 4.0f, paper.getY() + 4.0f, 62.0f, 14.0f));
        printText (g, "SERVICE", { paper.getX() + 4.0f, paper.getY() + 4.0f, 62.0f, 14.0f }, Fonts::sansBold (10.0f),
                   juce::Colour (0xfff4efe2), juce::Justification::centred, 0.0f);
        printText (g, "Clean heads every 100 h", { paper.getX() + 72.0f, paper.getY() + 4.0f, 140.0f, 14.0f }, Fonts::sansBold (9.0f),
                   inkColour, juce::Justification::centredLeft, 0.0f);

        g.setColour (inkColour.withAlpha (0.6f));
        g.fillRect (juce::Rectangle<float> (paper.getX() + 4.0f, paper.getY() + 21.0f, paper.getWidth() - 8.0f, 0.8f));

        printText (g, "Demagnetise yearly. Loop: 1/4 in. tape.", { paper.getX() + 5.0f, paper.getY() + 23.0f, 205.0f, 11.0f },
                   Fonts::sans (8.0f), inkColour, juce::Justification::centredLeft, 0.0f);
        printText (g, "Serial SW3-0417", { paper.getX() + 5.0f, paper.getY() + 36.0f, 100.0f, 12.0f }, Fonts::mono (8.5f), inkColour,
                   juce::Justification::centredLeft, 0.0f);
        printText (g, "Serviced", { paper.getX() + 104.0f, paper.getY() + 36.0f, 40.0f, 12.0f }, Fonts::sans (7.5f), inkColour,
                   juce::Justification::centredLeft, 0.0f);

        // a hand-written date, slightly rotated
        {
            juce::Graphics::ScopedSaveState save (g);
            g.addTransform (juce::AffineTransform::rotation (-0.06f, paper.getX() + 170.0f, paper.getY() + 42.0f));
            printText (g, "14.03.79", { paper.getX() + 143.0f, paper.getY() + 35.0f, 64.0f, 14.0f }, Fonts::serifBold (10.5f),
                       pen.withAlpha (0.85f), juce::Justification::centredLeft, 0.0f);
        }

        // worn spots where the ink is rubbed off
        shade (sticker, sticker.getBounds(), 1,
               [&] (float x, float y)
               {
            const auto wear = smoothstep (0.68f, 0.8f, noise.fractal (x * 0.09f + 30.0f, y * 0.09f, 3));
            const auto inside = coverage (roundedRectDistance (x, y, paper.reduced (1.5f), 3.0f));
            return Rgba { 0.9f, 0.87f, 0.77f, 0.7f * wear * inside };
        });

        return sticker;
    }

}   // namespace artkit
