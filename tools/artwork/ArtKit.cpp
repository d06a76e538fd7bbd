#include "ArtKit.h"

namespace artkit
{

    //==============================================================================
    Rgba Rgba::fromArgb (juce::uint32 argb)
    {
        return { (float) ((argb >> 16) & 0xff) / 255.0f, (float) ((argb >> 8) & 0xff) / 255.0f, (float) (argb & 0xff) / 255.0f,
                 (float) ((argb >> 24) & 0xff) / 255.0f };
    }

    Rgba Rgba::over (Rgba below) const
    {
        const auto outA = a + below.a * (1.0f - a);

        if (outA <= 0.0f)
            return {};

        auto channel = [&] (float top, float bottom) { return (top * a + bottom * below.a * (1.0f - a)) / outA; };
        return { channel (r, below.r), channel (g, below.g), channel (b, below.b), outA };
    }

    juce::Colour Rgba::toColour() const
    {
        return juce::Colour::fromFloatRGBA (clamp01 (r), clamp01 (g), clamp01 (b), clamp01 (a));
    }

    Rgba mix (Rgba a, Rgba b, float t)
    {
        return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t };
    }

    float clamp01 (float x)
    {
        return juce::jlimit (0.0f, 1.0f, x);
    }

    float smoothstep (float edge0, float edge1, float x)
    {
        const auto t = clamp01 ((x - edge0) / (edge1 - edge0));
        return t * t * (3.0f - 2.0f * t);
    }

    float roundedRectDistance (float x, float y, juce::Rectangle<float> r, float radius)
    {
        const auto qx = std::abs (x - r.getCentreX()) - (r.getWidth() * 0.5f - radius);
        const auto qy = std::abs (y - r.getCentreY()) - (r.getHeight() * 0.5f - radius);
        const auto ox = juce::jmax (qx, 0.0f), oy = juce::jmax (qy, 0.0f);
        return std::sqrt (ox * ox + oy * oy) + juce::jmin (juce::jmax (qx, qy), 0.0f) - radius;
    }

    //==============================================================================
    ValueNoise::ValueNoise (juce::int64 seed)
        : lattice ((size_t) (size * size))
    {
        juce::Random random (seed);

        for (auto& v : lattice)
            v = random.nextFloat();
    }

    float ValueNoise::at (float x, float y) const
    {
        const auto fx = std::floor (x), fy = std::floor (y);
        const auto ix = (int) fx, iy = (int) fy;
        const auto tx = x - fx, ty = y - fy;
        const auto sx = tx * tx * (3.0f - 2.0f * tx), sy = ty * ty * (3.0f - 2.0f * ty);

        auto cell = [this] (int cx, int cy) { return lattice[(size_t) ((cy & (size - 1)) * size + (cx & (size - 1)))]; };

        const auto top = cell (ix, iy) + (cell (ix + 1, iy) - cell (ix, iy)) * sx;
        const auto bottom = cell (ix, iy + 1) + (cell (ix + 1, iy + 1) - cell (ix, iy + 1)) * sx;
        return top + (bottom - top) * sy;
    }

    float ValueNoise::fractal (float x, float y, int octaves) const
    {
        float sum = 0.0f, weight = 1.0f, total = 0.0f;

        for (int i = 0; i < octaves; ++i)
        {
            sum += at (x, y) * weight;
            total += weight;
            x = x * 2.03f + 17.0f;
            y = y * 2.03f + 31.0f;
            weight *= 0.5f;
        }

        return sum / total;
    }

    //==============================================================================
    void shade (juce::Image& image, juce::Rectangle<int> area, int ss, const Shader& shader)
    {
        area = area.getIntersection (image.getBounds());
        juce::Image::BitmapData data (image, area.getX(), area.getY(), area.getWidth(), area.getHeight(),
                                      juce::Image::BitmapData::readWrite);
        const auto step = 1.0f / (float) ss;
        const auto samples = (float) (ss * ss);

        for (int py = 0; py < area.getHeight(); ++py)
        {
            for (int px = 0; px < area.getWidth(); ++px)
            {
                float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;

                for (int sy = 0; sy < ss; ++sy)
                {
                    for (int sx = 0; sx < ss; ++sx)
                    {
                        const auto c = shader ((float) (area.getX() + px) + ((float) sx + 0.5f) * step,
                                               (float) (area.getY() + py) + ((float) sy + 0.5f) * step);
                        const auto ca = clamp01 (c.a);
                        r += clamp01 (c.r) * ca;
                        g += clamp01 (c.g) * ca;
                        b += clamp01 (c.b) * ca;
                        a += ca;
                    }
                }

                if (a <= 0.0f)
                    continue;

                const Rgba src { r / a, g / a, b / a, a / samples };
                const auto dst = data.getPixelColour (px, py);
                const Rgba below { dst.getFloatRed(), dst.getFloatGreen(), dst.getFloatBlue(), dst.getFloatAlpha() };
                data.setPixelColour (px, py, src.over (below).toColour());
            }
        }
    }

    static void boxBlurPass (std::vector<float>& plane, int width, int height, int radius, bool horizontal)
    {
        const auto length = horizontal ? width : height;
        const auto lines = horizontal ? height : width;
        std::vector<float> line ((size_t) length);

        for (int l = 0; l < lines; ++l)
        {
            auto index = [&] (int i) { return (size_t) (horizontal ? l * width + i : i * width + l); };

            for (int i = 0; i < length; ++i)
                line[(size_t) i] = plane[index (i)];

            float sum = 0.0f;

            for (int i = -radius; i <= radius; ++i)
                sum += line[(size_t) juce::jlimit (0, length - 1, i)];

            for (int i = 0; i < length; ++i)
            {
                plane[index (i)] = sum / (float) (2 * radius + 1);
                sum += line[(size_t) juce::jmin (length - 1, i + radius + 1)] - line[(size_t) juce::jmax (0, i - radius)];
            }
        }
    }

    void blur (juce::Image& image, int radius)
    {
        const auto w = image.getWidth(), h = image.getHeight();
        std::vector<float> planes[4];

        for (auto& p : planes)
            p.resize ((size_t) (w * h));

        {
            juce::Image::BitmapData data (image, juce::Image::BitmapData::readOnly);

            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                {
                    const auto c = data.getPixelColour (x, y);
                    const auto i = (size_t) (y * w + x);
                    planes[0][i] = c.getFloatRed() * c.getFloatAlpha();
                    planes[1][i] = c.getFloatGreen() * c.getFloatAlpha();
                    planes[2][i] = c.getFloatBlue() * c.getFloatAlpha();
                    planes[3][i] = c.getFloatAlpha();
                }
        }

        for (auto& p : planes)
            for (int pass = 0; pass < 3; ++pass)
            {
                boxBlurPass (p, w, h, radius, true);
                boxBlurPass (p, w, h, radius, false);
            }

        juce::Image::BitmapData data (image, juce::Image::BitmapData::writeOnly);

        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const auto i = (size_t) (y * w + x);
                const auto a = planes[3][i];
                const auto inv = a > 0.0f ? 1.0f / a : 0.0f;
                data.setPixelColour (x, y, Rgba { planes[0][i] * inv, planes[1][i] * inv, planes[2][i] * inv, a }.toColour());
            }
    }

    juce::Image newArgb (int width, int height)
    {
        return juce::Image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
    }

    juce::Image copyOf (const juce::Image& image, juce::Rectangle<int> area)
    {
        auto result = newArgb (area.getWidth(), area.getHeight());
        juce::Graphics g (result);
        g.drawImageAt (image, -area.getX(), -area.getY());
        return result;
    }

    bool writePng (const juce::Image& image, const juce::File& file)
    {
        file.deleteFile();
        juce::FileOutputStream out (file);

        if (! out.openedOk())
            return false;

        juce::PNGImageFormat png;
        return png.writeImageToStream (image, out);
    }

    //==============================================================================
    static juce::Typeface::Ptr loadFace (const char* fileName)
    {
        juce::MemoryBlock bytes;
        juce::File (SPOOLWARP_FONT_DIR).getChildFile (fileName).loadFileAsData (bytes);

        if (bytes.isEmpty())
            return nullptr;

        return juce::Typeface::createSystemTypefaceFor (bytes.getData(), bytes.getSize());
    }

    static juce::Font faceAt (const char* fileName, float height)
    {
        static std::map<juce::String, juce::Typeface::Ptr> faces;
        auto& face = faces[fileName];

        if (face == nullptr)
            face = loadFace (fileName);

        return juce::Font (face).withHeight (height);
    }

    juce::Font Fonts::sans (float height)
    {
        return faceAt ("DejaVuSans.ttf", height);
    }

    juce::Font Fonts::sansBold (float height)
    {
        return faceAt ("DejaVuSans-Bold.ttf", height);
    }

    juce::Font Fonts::serifBold (float height)
    {
        return faceAt ("DejaVuSerif-Bold.ttf", height);
    }

    juce::Font Fonts::mono (float height)
    {
        return faceAt ("DejaVuSansMono.ttf", height);
    }

    bool Fonts::loaded()
    {
        for (auto* name : { "DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSansMono.ttf" })
            if (loadFace (name) == nullptr)
                return false;

        return true;
    }

    void printText (juce::Graphics& g, const juce::String& text, juce::Rectangle<float> area, const juce::Font& font, juce::Colour ink,
                    juce::Justification justification, float shadowAlpha)
    {
        g.setFont (font);

        if (shadowAlpha > 0.0f)
        {
            g.setColour (juce::Colours::black.withAlpha (shadowAlpha));
            g.drawText (text, area.translated (0.0f, 1.0f), justification, false);
        }

        g.setColour (ink);
        g.drawText (text, area, justification, false);
    }

    void printSpaced (juce::Graphics& g, const juce::String& text, float centreX, float baselineY, const juce::Font& font, float tracking,
                      juce::Colour ink, float shadowAlpha)
    {
        juce::GlyphArrangement glyphs;
        float x = 0.0f;

        for (auto c : text)
        {
            const juce::String letter = juce::String::charToString (c);
            glyphs.addLineOfText (font, letter, x, baselineY);
            x += font.getStringWidthFloat (letter) + tracking;
        }

        const auto width = x - tracking;
        glyphs.moveRangeOfGlyphs (0, -1, centreX - width * 0.5f, 0.0f);

        if (shadowAlpha > 0.0f)
        {
            g.setColour (juce::Colours::black.withAlpha (shadowAlpha));
            glyphs.draw (g, juce::AffineTransform::translation (0.0f, 1.0f));
        }

        g.setColour (ink);
        glyphs.draw (g);
    }

    void drawScrew (juce::Image& image, juce::Point<float> centre, float r, float slotAngle)
    {
        const auto dir = juce::Point<float> (std::cos (slotAngle), std::sin (slotAngle));

        shade (image,
               juce::Rectangle<float> (centre.x - r - 3.0f, centre.y - r - 3.0f, 2.0f * r + 7.0f, 2.0f * r + 7.0f)
                   .getSmallestIntegerContainer(),
               3,
               [=] (float x, float y)
               {
            const auto dx = x - centre.x, dy = y - centre.y;
            const auto dist = std::sqrt (dx * dx + dy * dy);
            Rgba out;

            // shadow ring of the countersink
            const auto shadowDist = std::sqrt ((dx - 0.8f) * (dx - 0.8f) + (dy - 1.2f) * (dy - 1.2f));
            out = Rgba::grey (0.0f, 0.45f * (1.0f - smoothstep (r - 0.5f, r + 2.0f, shadowDist)));

            if (dist < r + 0.5f)
            {
                // domed head lit from the upper left
                const auto nx = dx / r, ny = dy / r;
                const auto light = clamp01 (0.55f - 0.45f * (nx * 0.6f + ny * 0.8f));
                auto head = mix (Rgba::grey (0.38f), Rgba::grey (0.92f), light);
                const auto along = dx * dir.x + dy * dir.y, across = -dx * dir.y + dy * dir.x;

                if (std::abs (across) < r * 0.17f && std::abs (along) < r * 0.86f)
                    head = Rgba::grey (0.16f);
                else if (std::abs (across - r * 0.24f) < r * 0.08f && std::abs (along) < r * 0.8f)
                    head = head.plus (0.12f);

                out = head.withAlpha (coverage (dist - r)).over (out);
            }

            return out;
        });
    }

}   // namespace artkit
