#pragma once

#include <juce_graphics/juce_graphics.h>

#include <vector>

/** A vertical strip of equal frames in one image, drawn one frame at a time: frame k is the
    rectangle (0, k x frameHeight) of the image's width and frameHeight = height / numFrames
    (integer division), so rows below numFrames x frameHeight are never shown.
*/
class FilmStrip
{
public:
    /** Takes the frame size, and one view per frame into the image's own pixels, when the image is
        valid. Drawing a view instead of a source rectangle of the strip gives each frame a lasting
        identity, so the OpenGL renderer uploads a frame's texture once rather than on every paint.
    */
    FilmStrip (juce::Image stripImage, int frames)
        : image (std::move (stripImage)),
          numFrames (frames)
    {
        if (! image.isValid())
            return;

        frameWidth = image.getWidth();
        frameHeight = image.getHeight() / numFrames;

        if (frameHeight > 0)
            for (int frame = 0; frame < numFrames; ++frame)
                frameViews.push_back (image.getClippedImage ({ 0, frame * frameHeight, frameWidth, frameHeight }));
    }

    /** True for a frame of the strip. */
    bool isFrame (int frame) const noexcept { return frame >= 0 && frame < (int) frameViews.size(); }

    /** Draws a frame at its natural size with its top-left corner at the given point, without
        filling the alpha channel with the current brush. A frame beyond the strip draws what the
        strip's rows there hold: nothing.
    */
    void drawFrame (juce::Graphics& g, int frame, juce::Point<int> at = {}) const
    {
        if (isFrame (frame))
            g.drawImage (frameViews[(size_t) frame], at.x, at.y, frameWidth, frameHeight, 0, 0, frameWidth, frameHeight, false);
        else
            g.drawImage (image, at.x, at.y, frameWidth, frameHeight, 0, frame * frameHeight, frameWidth, frameHeight, false);
    }

    juce::Image image;
    int numFrames;
    int frameWidth = 0;
    int frameHeight = 0;
    std::vector<juce::Image> frameViews;
};
