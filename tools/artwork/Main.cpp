// spoolwarp_artwork <output-dir>            writes the eleven panel images
// spoolwarp_artwork --preview <output-dir>  also composes them into whole panels for review

#include "ArtKit.h"

namespace
{
    using namespace artkit;

    struct Artwork
    {
        juce::Image panel, about, help, tape, roller, pad, knob, lamp, headSwitch, motorSwitch, sticker;
    };

    bool writeAll (const Artwork& art, const juce::File& dir)
    {
        const std::pair<const char*, juce::Image> files[] = {
            { "about.png", art.about.convertedToFormat (juce::Image::RGB) },
            { "sticker.png", art.sticker },
            { "help.png", art.help },
            { "panel.png", art.panel },
            { "tape.png", art.tape },
            { "knob.png", art.knob },
            { "lamp.png", art.lamp.convertedToFormat (juce::Image::RGB) },
            { "switch_head.png", art.headSwitch },
            { "pad.png", art.pad },
            { "switch_motor.png", art.motorSwitch.convertedToFormat (juce::Image::RGB) },
            { "roller.png", art.roller },
        };

        for (const auto& [name, image] : files)
        {
            if (! writePng (image, dir.getChildFile (name)))
            {
                std::cerr << "cannot write " << dir.getChildFile (name).getFullPathName() << std::endl;
                return false;
            }
        }

        return true;
    }

    /** Draws frame k of an n-frame vertical strip at the given position, as the panel does. */
    void drawFrame (juce::Graphics& g, const juce::Image& strip, int n, int k, juce::Point<int> at)
    {
        FilmStrip (strip, n).drawFrame (g, k, at);
    }

    juce::Image compose (const Artwork& art, float knobValue, bool on, float tapeFraction, bool withHelp)
    {
        auto out = juce::Image (juce::Image::RGB, layout::panelWidth, layout::panelHeight, true);
        juce::Graphics g (out);
        g.fillAll (juce::Colours::black);
        g.drawImageAt (art.panel, 0, 0);
        g.drawImageAt (art.sticker, layout::sticker.getX(), layout::sticker.getY());
        drawFrame (g, art.tape, PanelLayout::tapeFrames, (int) (48.0f * tapeFraction), layout::tapeWindow.getPosition());
        drawFrame (g, art.roller, PanelLayout::rollerFrames, (int) (24.0f * tapeFraction), layout::rollerTop.getPosition());
        drawFrame (g, art.roller, PanelLayout::rollerFrames, (int) (24.0f * tapeFraction), layout::rollerBottom.getPosition());
        g.drawImageAt (art.pad, layout::pad.getX(), layout::pad.getY());
        drawFrame (g, art.lamp, PanelLayout::lampFrames, on ? 1 : 0, layout::lamp.getPosition());

        for (const auto& knob : layout::knobs)
            drawFrame (g, art.knob, PanelLayout::knobFrames, (int) (96.0 * knobValue), knob.bounds.getPosition());

        drawFrame (g, art.motorSwitch, PanelLayout::switchFrames, on ? 1 : 0, layout::motorSwitch.getPosition());

        for (const auto& sw : layout::switches)
            drawFrame (g, art.headSwitch, PanelLayout::switchFrames, on ? 1 : 0, sw.bounds.getPosition());

        if (withHelp)
            g.drawImageAt (art.help, 0, 0);

        return out;
    }

    Artwork makeArtwork()
    {
        Artwork art;
        art.panel = makePanel();
        art.help = makeHelp();
        art.tape = makeTape();
        art.roller = makeRoller();
        art.pad = makePad();
        art.knob = makeKnob();
        art.lamp = makeLamp (art.panel);
        art.headSwitch = makeHeadSwitch();
        art.motorSwitch = makeMotorSwitch (art.panel);
        art.sticker = makeSticker();
        art.about = makeAbout (compose (art, 0.3f, false, 0.0f, false));
        return art;
    }

    bool writePreviews (const Artwork& art, const juce::File& dir)
    {
        auto strip = juce::Image (juce::Image::RGB, 590, 222 * 4, true);
        {
            juce::Graphics g (strip);
            for (int i = 0; i < 4; ++i)
            {
                juce::Graphics::ScopedSaveState save (g);
                g.reduceClipRegion (0, i * 222, 590, 222);
                g.drawImageAt (art.panel, -layout::tapeWindow.getX(), i * 222 - layout::tapeWindow.getY());
                drawFrame (g, art.tape, PanelLayout::tapeFrames, i, { 0, i * 222 });
            }
        }

        return writePng (compose (art, 0.0f, false, 0.0f, false), dir.getChildFile ("preview-off.png"))
               && writePng (compose (art, 0.5f, true, 0.5f, false), dir.getChildFile ("preview-on.png"))
               && writePng (compose (art, 0.75f, true, 0.25f, true), dir.getChildFile ("preview-help.png"))
               && writePng (strip, dir.getChildFile ("preview-tape.png"));
    }
}

int main (int argc, char* argv[])
{
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (argv[i]);

    const auto preview = args.contains ("--preview");
    args.removeString ("--preview");

    if (args.size() != 1)
    {
        std::cerr << "usage: spoolwarp_artwork [--preview] <output-dir>" << std::endl;
        return 2;
    }

    if (! Fonts::loaded())
    {
        std::cerr << "DejaVu fonts not found in " << SPOOLWARP_FONT_DIR << std::endl;
        return 1;
    }

    const juce::File dir (juce::File::getCurrentWorkingDirectory().getChildFile (args[0]));

    if (! dir.createDirectory())
    {
        std::cerr << "cannot create " << dir.getFullPathName() << std::endl;
        return 1;
    }

    const auto art = makeArtwork();

    if (! writeAll (art, dir))
        return 1;

    return preview && ! writePreviews (art, dir) ? 1 : 0;
}
