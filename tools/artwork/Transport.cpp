#include "ArtKit.h"

namespace artkit
{

    namespace
    {
        constexpr float twoPi = juce::MathConstants<float>::twoPi;
        constexpr int tapeFrames = PanelLayout::tapeFrames, rollerFrames = PanelLayout::rollerFrames;

        //==============================================================================
        /** The closed path of the tape's centre line, in tape-strip pixels, running
            along the bottom, up round the far end, back along the top and down
            past the pressure pad. */
        class TapeLoop
        {
        public:
            struct Hit
            {
                float s = 0.0f;     // distance along the loop
                float d = 1.0e9f;   // signed distance from the centre line, positive outside the loop
            };

            TapeLoop()
            {
                using namespace layout;
                const auto t = topRollerCentre, b = bottomRollerCentre, e = loopEndCentre;
                const auto r = tapeWrapRadius, re = e.y - (t.y - r);

                const auto down = (b - t) / b.getDistanceFrom (t);
                const juce::Point<float> outward (-down.y, down.x);
                const auto tangentAngle = std::atan2 (outward.y, outward.x);

                addLine ({ b.x, b.y + r }, { e.x, e.y + re });
                addArc (e, re, juce::MathConstants<float>::halfPi, juce::MathConstants<float>::pi);
                addLine ({ e.x, e.y - re }, { t.x, t.y - r });
                addArc (t, r, -juce::MathConstants<float>::halfPi, -juce::MathConstants<float>::halfPi - tangentAngle);
                addLine (t + outward * r, b + outward * r);
                addArc (b, r, tangentAngle, tangentAngle + juce::MathConstants<float>::pi * 1.5f);
            }

            float length() const { return total; }

            Hit nearest (juce::Point<float> p) const
            {
                Hit best;

                for (const auto& seg : segments)
                {
                    Hit hit;

                    if (seg.isArc)
                    {
                        const auto v = p - seg.a;
                        auto u = seg.startAngle - std::atan2 (v.y, v.x);
                        u -= twoPi * std::floor (u / twoPi);

                        if (u > seg.sweep)
                            continue;

                        hit = { seg.s0 + u * seg.radius, v.getDistanceFromOrigin() - seg.radius };
                    }
                    else
                    {
                        const auto v = p - seg.a;
                        const auto along = v.x * seg.dir.x + v.y * seg.dir.y;

                        if (along < 0.0f || along > seg.length)
                            continue;

                        hit = { seg.s0 + along, -v.x * seg.dir.y + v.y * seg.dir.x };
                    }

                    if (std::abs (hit.d) < std::abs (best.d))
                        best = hit;
                }

                return best;
            }

            /** Start, direction and length of the straight run past the pressure pad. */
            juce::Point<float> padRunStart() const { return segments[4].a; }
            juce::Point<float> padRunDirection() const { return segments[4].dir; }
            float padRunLength() const { return segments[4].length; }

        private:
            struct Segment
            {
                bool isArc = false;
                juce::Point<float> a, dir;   // line start and direction, or arc centre
                float length = 0.0f, radius = 0.0f, startAngle = 0.0f, sweep = 0.0f, s0 = 0.0f;
            };

            void addLine (juce::Point<float> from, juce::Point<float> to)
            {
                Segment seg;
                seg.a = from;
                seg.length = to.getDistanceFrom (from);
                seg.dir = (to - from) / seg.length;
                seg.s0 = total;
                total += seg.length;
                segments.push_back (seg);
            }

            void addArc (juce::Point<float> centre, float radius, float startAngle, float sweep)
            {
                Segment seg;
                seg.isArc = true;
                seg.a = centre;
                seg.radius = radius;
                seg.startAngle = startAngle;
                seg.sweep = sweep;
                seg.length = sweep * radius;
                seg.s0 = total;
                total += seg.length;
                segments.push_back (seg);
            }

            std::vector<Segment> segments;
            float total = 0.0f;
        };

        //==============================================================================
        /** Marks on the oxide, laid out once round the loop: the splice, creases, worn patches, dropouts. */
        struct TapeMark
        {
            enum Kind
            {
                splice,
                crease,
                worn,
                dropout
            };
            Kind kind;
            float s, size, across;
        };

        std::vector<TapeMark> layOutMarks (float loopLength)
        {
            juce::Random random (0x7a9e);
            std::vector<TapeMark> marks { { TapeMark::splice, 0.0f, 16.0f, 0.0f } };
            float s = 150.0f;

            while (s < loopLength - 120.0f)
            {
                const auto pick = random.nextInt (10);
                const auto kind = pick < 4 ? TapeMark::crease : pick < 7 ? TapeMark::worn : TapeMark::dropout;
                const auto size = kind == TapeMark::worn     ? 18.0f + random.nextFloat() * 26.0f
                                  : kind == TapeMark::crease ? 1.6f + random.nextFloat() * 1.4f
                                                             : 1.5f + random.nextFloat() * 1.5f;
                marks.push_back ({ kind, s, size, random.nextFloat() * 2.0f - 1.0f });
                s += 95.0f + random.nextFloat() * 90.0f;
            }

            return marks;
        }

        Rgba oxide (const ValueNoise& noise, const std::vector<TapeMark>& marks, float loopLength, float u, float v)
        {
            // u: position on the tape (wrapped to the loop), v: -1..1 across it
            const auto grain = noise.fractal (u * 0.35f, v * 1.8f + 50.0f, 2) - 0.5f;
            const auto band = noise.at (u * 0.08f, 7.0f) - 0.5f;
            const auto sheen = std::exp (-std::pow ((v - 0.35f) * 2.6f, 2.0f));
            const auto edge = smoothstep (0.65f, 1.0f, std::abs (v));

            Rgba c { 0.33f, 0.2f, 0.115f, 1.0f };
            c = c.scaled (0.9f + 0.45f * grain + 0.35f * band - 0.4f * edge);
            c = c.plus (0.1f * sheen);

            for (const auto& m : marks)
            {
                auto du = u - m.s;
                du -= loopLength * std::round (du / loopLength);

                switch (m.kind)
                {
                    case TapeMark::splice:
                    {
                        // a strip of silver splicing tape with slanted ends
                        const auto slant = du - v * 4.0f;
                        if (std::abs (slant) < m.size * 0.5f)
                        {
                            const auto metal = Rgba::grey (0.78f + 0.15f * sheen - 0.25f * edge);
                            c = mix (c, metal, coverage (std::abs (slant) - m.size * 0.5f + 0.5f));
                        }
                        else if (std::abs (std::abs (slant) - m.size * 0.5f - 0.8f) < 0.8f)
                        {
                            c = c.scaled (0.55f);
                        }
                        break;
                    }

                    case TapeMark::crease:
                    {
                        const auto line = du - v * m.across * 3.0f;
                        c = c.scaled (1.0f - 0.7f * (1.0f - smoothstep (0.0f, m.size, std::abs (line))));
                        c = c.plus (0.12f * (1.0f - smoothstep (0.0f, 1.0f, std::abs (line - m.size - 0.8f))));
                        break;
                    }

                    case TapeMark::worn:
                    {
                        const auto fade = 1.0f - smoothstep (m.size * 0.35f, m.size * 0.5f, std::abs (du));
                        c = mix (c, Rgba { 0.58f, 0.4f, 0.25f, 1.0f }.scaled (0.95f + 0.3f * grain), 0.7f * fade);
                        break;
                    }

                    case TapeMark::dropout:
                    {
                        const auto dv = (v - m.across * 0.6f) * 4.5f;
                        const auto dist = std::sqrt (du * du + dv * dv);
                        c = mix (c, Rgba { 0.72f, 0.6f, 0.45f, 1.0f }, 0.85f * (1.0f - smoothstep (m.size * 0.6f, m.size, dist)));
                        break;
                    }
                }
            }

            return c;
        }

        //==============================================================================
        float tabShadow (float x, float y)
        {
            const auto tab = layout::motorTab.translated (-(float) layout::tapeWindow.getX(), -(float) layout::tapeWindow.getY());
            return 0.55f * (1.0f - smoothstep (-2.0f, 7.0f, roundedRectDistance (x - 2.0f, y - 4.0f, tab, layout::motorTabCorner)));
        }

        /** 1 where the strip shows through the panel's window, 0 under the bezel and the motor tab. */
        float windowMask (float x, float y)
        {
            const auto w = layout::tapeWindow.toFloat().withZeroOrigin();
            const auto tab = layout::motorTab.translated (-(float) layout::tapeWindow.getX(), -(float) layout::tapeWindow.getY());
            return coverage (roundedRectDistance (x, y, w, layout::windowCorner))
                   * (1.0f - coverage (roundedRectDistance (x, y, tab, layout::motorTabCorner)));
        }

        float windowDepthShade (float x, float y)
        {
            const auto w = layout::tapeWindow.toFloat().withZeroOrigin();
            const auto depth = clamp01 (-roundedRectDistance (x, y, w, layout::windowCorner) / 14.0f);
            return (0.55f + 0.45f * std::sqrt (depth)) * (1.0f - tabShadow (x, y));
        }

        void paintHeads (juce::Image& frame)
        {
            using namespace layout;
            const auto tapeTop = bottomRollerCentre.y + tapeWrapRadius - tapeWidth * 0.5f;

            for (size_t i = 0; i < std::size (headX); ++i)
            {
                const auto cx = headX[i];
                const juce::Rectangle<float> mount (cx - 17.0f, tapeTop - 46.0f, 34.0f, 26.0f);
                const juce::Rectangle<float> body (cx - 12.0f, tapeTop - 26.0f, 24.0f, 27.0f);
                const auto isErase = i == 0;

                shade (frame, mount.getUnion (body).expanded (5.0f).getSmallestIntegerContainer(), 2,
                       [=] (float x, float y)
                       {
                    const auto mountD = roundedRectDistance (x, y, mount, 3.0f);
                    const auto bodyD = roundedRectDistance (x, y, body, 5.0f);
                    const auto shadowD = juce::jmin (roundedRectDistance (x - 2.0f, y - 3.0f, mount, 3.0f),
                                                     roundedRectDistance (x - 2.0f, y - 3.0f, body, 5.0f));
                    auto c = Rgba::grey (0.0f, 0.5f * (1.0f - smoothstep (-1.0f, 4.0f, shadowD)));

                    const auto plate = Rgba { 0.2f, 0.21f, 0.22f, 1.0f }.plus (0.1f * smoothstep (-2.0f, 0.0f, mountD)
                                                                               * (y < mount.getCentreY() ? 1.0f : -1.0f));
                    c = plate.withAlpha (coverage (mountD)).over (c);

                    // the head can: satin chrome (playback, record) or dark ferrite (erase), brightest mid-way
                    const auto across = (x - cx) / 12.0f;
                    const auto toFace = clamp01 ((y - body.getY()) / body.getHeight());
                    const auto nx = juce::jlimit (-1.0f, 1.0f, across);
                    const auto curve = std::sqrt (juce::jmax (0.0f, 1.0f - nx * nx));
                    auto metal = isErase ? Rgba { 0.2f, 0.18f, 0.17f, 1.0f } : Rgba::grey (0.3f);
                    metal = metal.plus ((isErase ? 0.16f : 0.36f) * curve * (1.0f - 0.6f * std::abs (nx + 0.35f)));
                    metal = metal.plus (0.08f * toFace - 0.1f * smoothstep (-1.5f, 0.0f, bodyD));

                    // the head gap where the tape runs over it
                    if (std::abs (x - cx) < (isErase ? 2.4f : 0.6f) && y > body.getBottom() - 7.0f)
                        metal = isErase ? Rgba::grey (0.5f) : Rgba::grey (0.08f);

                    return metal.withAlpha (coverage (bodyD)).over (c);
                });

                for (auto sx : { cx - 12.5f, cx + 12.5f })
                    drawScrew (frame, { sx, mount.getY() + 6.0f }, 2.4f, 0.8f + sx * 0.1f);

                juce::Graphics g (frame);
                printText (g, headNames[i], mount.withTrimmedTop (10.0f).withHeight (12.0f), Fonts::sansBold (9.0f),
                           juce::Colour (0xffeae2c8), juce::Justification::centred, 0.0f);
            }
        }
    }

    //==============================================================================
    juce::Image makeTape()
    {
        const auto w = layout::tapeWindow.getWidth(), h = layout::tapeWindow.getHeight();
        const TapeLoop loop;
        const ValueNoise noise (0x7a9e0001);
        const auto marks = layOutMarks (loop.length());
        const auto halfWidth = layout::tapeWidth * 0.5f;

        // the loop's geometry is the same in every frame: find each pixel's place on it once
        std::vector<TapeLoop::Hit> hits ((size_t) (w * h * 4));

        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int sub = 0; sub < 4; ++sub)
                    hits[(size_t) (((y * w) + x) * 4 + sub)] = loop.nearest (
                        { (float) x + 0.25f + 0.5f * (float) (sub & 1), (float) y + 0.25f + 0.5f * (float) (sub >> 1) });

        auto strip = newArgb (w, h * tapeFrames);

        for (int k = 0; k < tapeFrames; ++k)
        {
            // the tape moves forward by 1/48 of the loop per frame, so frame 48 would equal frame 0
            const auto shift = loop.length() * (float) k / (float) (tapeFrames - 1);
            auto frame = newArgb (w, h);

            {
                juce::Image::BitmapData data (frame, juce::Image::BitmapData::writeOnly);

                for (int y = 0; y < h; ++y)
                {
                    for (int x = 0; x < w; ++x)
                    {
                        Rgba sum;
                        float alpha = 0.0f;

                        for (int sub = 0; sub < 4; ++sub)
                        {
                            const auto& hit = hits[(size_t) (((y * w) + x) * 4 + sub)];
                            const auto cover = coverage ((std::abs (hit.d) - halfWidth) * 2.0f);

                            if (cover <= 0.0f)
                                continue;

                            auto u = hit.s - shift;
                            u -= loop.length() * std::floor (u / loop.length());
                            const auto c = oxide (noise, marks, loop.length(), u, hit.d / halfWidth);
                            sum = { sum.r + c.r * cover, sum.g + c.g * cover, sum.b + c.b * cover, 0.0f };
                            alpha += cover;
                        }

                        const auto mask = windowMask ((float) x + 0.5f, (float) y + 0.5f);

                        if (alpha <= 0.0f || mask <= 0.0f)
                            continue;

                        const auto depth = windowDepthShade ((float) x + 0.5f, (float) y + 0.5f);
                        const Rgba c { sum.r / alpha * depth, sum.g / alpha * depth, sum.b / alpha * depth, alpha / 4.0f * mask };
                        data.setPixelColour (x, y, c.toColour());
                    }
                }
            }

            paintHeads (frame);

            juce::Graphics g (strip);
            g.drawImageAt (frame, 0, k * h);
        }

        return strip;
    }

    //==============================================================================
    juce::Image makeRoller()
    {
        constexpr float size = 60.0f, centre = size * 0.5f;
        auto strip = newArgb ((int) size, (int) size * rollerFrames);

        for (int k = 0; k < rollerFrames; ++k)
        {
            // two turns per loop, counter-clockwise like the tape round it; frame 24 would equal frame 0
            const auto turn = -twoPi * 2.0f * (float) k / (float) (rollerFrames - 1);
            const auto top = (float) (k * (int) size);

            shade (strip, { 0, k * (int) size, (int) size, (int) size }, 4,
                   [=] (float x, float y)
                   {
                const auto dx = x - centre, dy = y - top - centre;
                const auto rho = std::sqrt (dx * dx + dy * dy);
                const auto body = layout::rollerBodyRadius;

                if (rho > body + 3.0f)
                    return Rgba {};

                // shadow on the tape round the body
                const auto shadowRho = std::sqrt ((dx - 1.0f) * (dx - 1.0f) + (dy - 1.5f) * (dy - 1.5f));
                auto c = Rgba::grey (0.0f, 0.4f * (1.0f - smoothstep (body - 1.0f, body + 2.5f, shadowRho)));

                const auto phi = std::atan2 (dy, dx) - turn;
                const auto lx = dx / body, ly = dy / body;
                const auto light = -(lx * 0.55f + ly * 0.83f);   // fixed light from the upper left

                Rgba m;

                if (rho > body - 4.0f)
                {
                    // polished flange with a faint knurl that turns
                    const auto knurl = 0.5f + 0.5f * std::sin (phi * 36.0f);
                    m = Rgba::grey (0.58f + 0.3f * light + 0.06f * knurl);
                    m = m.scaled (1.0f - 0.35f * smoothstep (body - 1.2f, body, rho));
                }
                else if (rho > 7.0f)
                {
                    // dark web with three lightening holes and a red index dot
                    m = Rgba::grey (0.2f + 0.08f * light);
                    m = m.plus (-0.08f * (1.0f - smoothstep (body - 6.5f, body - 4.0f, rho)));

                    for (int i = 0; i < 3; ++i)
                    {
                        const auto a = (float) i * twoPi / 3.0f;
                        const auto hx = rho * std::cos (phi) - 11.0f * std::cos (a);
                        const auto hy = rho * std::sin (phi) - 11.0f * std::sin (a);
                        const auto hd = std::sqrt (hx * hx + hy * hy) - 4.3f;

                        if (hd < 1.0f)
                        {
                            const auto inside = Rgba::grey (0.03f + 0.04f * clamp01 (-hy / 4.0f));
                            m = mix (m, inside, coverage (hd * 2.0f));
                            m = m.plus (0.25f * (1.0f - smoothstep (0.0f, 0.9f, std::abs (hd))) * clamp01 (-hy / 4.3f));
                        }
                    }

                    const auto dotX = rho * std::cos (phi) - 15.0f * std::cos (twoPi / 6.0f);
                    const auto dotY = rho * std::sin (phi) - 15.0f * std::sin (twoPi / 6.0f);
                    m = mix (m, Rgba { 0.78f, 0.16f, 0.1f, 1.0f }, coverage ((std::sqrt (dotX * dotX + dotY * dotY) - 2.0f) * 2.0f));
                }
                else
                {
                    // chrome hub with a hex socket that turns with it
                    m = Rgba::grey (0.62f + 0.3f * light * (rho / 7.0f) + 0.1f * (1.0f - rho / 7.0f));
                    float hex = 0.0f;
                    for (int i = 0; i < 3; ++i)
                        hex = juce::jmax (hex, std::abs (rho * std::cos (phi - (float) i * twoPi / 6.0f)));
                    if (hex < 2.6f)
                        m = Rgba::grey (0.08f);
                    m = m.scaled (1.0f - 0.3f * smoothstep (5.5f, 7.0f, rho));
                }

                return m.withAlpha (coverage ((rho - body) * 2.0f)).over (c);
            });
        }

        return strip;
    }

    //==============================================================================
    juce::Image makePad()
    {
        const TapeLoop loop;
        const ValueNoise noise (0x9ad);
        auto pad = newArgb (layout::pad.getWidth(), layout::pad.getHeight());

        const auto a = loop.padRunStart(), dir = loop.padRunDirection();
        const juce::Point<float> outward (-dir.y, dir.x);
        const auto mid = loop.padRunLength() * 0.5f;
        const auto halfTape = layout::tapeWidth * 0.5f;

        const auto holder = a + dir * mid - outward * (halfTape + 13.0f);
        const juce::Rectangle<float> mount (70.0f, 89.0f, 32.0f, 30.0f);
        const juce::Point<float> anchor (mount.getX() + 4.0f, mount.getCentreY());

        // distance to a capsule from p0 to p1
        auto capsule = [] (juce::Point<float> p, juce::Point<float> p0, juce::Point<float> p1, float radius)
        {
            const auto v = p1 - p0, w = p - p0;
            const auto t = clamp01 ((w.x * v.x + w.y * v.y) / (v.x * v.x + v.y * v.y));
            return p.getDistanceFrom (p0 + v * t) - radius;
        };

        auto shapes = [=] (juce::Point<float> p)
        {
            const auto rel = p - a;
            const auto along = rel.x * dir.x + rel.y * dir.y - mid;
            const auto across = rel.x * outward.x + rel.y * outward.y;
            const juce::Point<float> local (along, across);

            struct Distances
            {
                float felt, channel, spring, block;
            } ds;
            ds.felt = roundedRectDistance (local.x, local.y, { -26.0f, -halfTape - 10.0f, 52.0f, 10.0f }, 2.5f);
            ds.channel = roundedRectDistance (local.x, local.y, { -28.0f, -halfTape - 14.5f, 56.0f, 5.5f }, 1.5f);
            ds.spring = capsule (p, holder, anchor, 1.8f);
            ds.block = roundedRectDistance (p.x, p.y, mount, 4.0f);
            return ds;
        };

        shade (pad, pad.getBounds(), 3,
               [=] (float x, float y)
               {
            const juce::Point<float> p (x, y);
            const auto ds = shapes (p);
            const auto sh = shapes (p - juce::Point<float> (2.0f, 3.0f));
            const auto shadowD = juce::jmin (juce::jmin (sh.felt, sh.channel), juce::jmin (sh.spring, sh.block));
            auto c = Rgba::grey (0.0f, 0.5f * (1.0f - smoothstep (-1.0f, 4.0f, shadowD)));

            const auto springLight = 0.5f + 0.5f * std::sin ((x + y) * 0.2f);
            c = Rgba::grey (0.55f + 0.25f * springLight).withAlpha (coverage (ds.spring)).over (c);

            const auto blockRim = smoothstep (-2.5f, 0.0f, ds.block);
            const auto block = Rgba { 0.18f, 0.19f, 0.2f, 1.0f }.plus (blockRim * (y < mount.getCentreY() ? 0.14f : -0.08f));
            c = block.withAlpha (coverage (ds.block)).over (c);

            const auto channel = Rgba::grey (0.7f - 0.25f * smoothstep (-2.0f, 0.0f, ds.channel));
            c = channel.withAlpha (coverage (ds.channel)).over (c);

            // wool felt: fibrous, with a flattened, darker face where it rides on the tape
            const auto fibre = noise.fractal (x * 0.9f, y * 0.9f, 3) - 0.5f;
            auto felt = Rgba { 0.5f, 0.13f, 0.11f, 1.0f }.scaled (0.9f + 0.5f * fibre);
            felt = felt.scaled (1.0f - 0.3f * smoothstep (-2.0f, 0.0f, ds.felt));
            return felt.withAlpha (coverage (ds.felt)).over (c);
        });

        drawScrew (pad, mount.getCentre() + juce::Point<float> (5.0f, -7.0f), 3.2f, 0.3f);
        drawScrew (pad, mount.getCentre() + juce::Point<float> (5.0f, 7.0f), 3.2f, 1.9f);
        return pad;
    }

}   // namespace artkit
