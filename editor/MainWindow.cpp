#include "MainWindow.h"

#include "PanelLayout.h"
#include "PluginProcessor.h"
#include "BinaryData.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace
{
    constexpr int numKnobs = (int) std::size (PanelLayout::knobs);
    constexpr int refreshPeriodMs = 50;
    constexpr int overlayFadeMs = 250;

    // The pop-up menu's item ids; the window sizes are 100 + tenths of the design size.
    enum MenuItem
    {
        showHelpItem = 1,
        visitSiteItem = 2,
        donateItem = 3,
        aboutItem = 5,
        smallestSizeItem = 107,
        largestSizeItem = 113
    };

    juce::Image loadImage (const char* data, int size)
    {
        return juce::ImageCache::getFromMemory (data, size);
    }

    constexpr int drawnAreaTile = 8;

    juce::int64 areaOf (const juce::RectangleList<int>& list) noexcept
    {
        juce::int64 area = 0;

        for (const auto& r : list)
            area += (juce::int64) r.getWidth() * r.getHeight();

        return area;
    }

    // The areas of a film strip that painting can be limited to when it is drawn one to one, found
    // once from its pixels: changing, the bounds of the pixels that differ between any two frames;
    // drawn, the tiles that hold a pixel that is not fully transparent in some frame. drawn stays
    // empty where it would skip little.
    void measureStripAreas (const std::vector<juce::Image>& views, juce::Rectangle<int>& changing, juce::RectangleList<int>& drawn)
    {
        if (views.empty())
            return;

        const auto width = views.front().getWidth();
        const auto height = views.front().getHeight();
        const auto hasAlpha = views.front().hasAlphaChannel();
        const auto tilesAcross = (width + drawnAreaTile - 1) / drawnAreaTile;
        const auto tilesDown = (height + drawnAreaTile - 1) / drawnAreaTile;
        std::vector<bool> tileDrawn ((size_t) (tilesAcross * tilesDown), ! hasAlpha);

        const juce::Image::BitmapData first (views.front(), juce::Image::BitmapData::readOnly);

        for (const auto& view : views)
        {
            const juce::Image::BitmapData frame (view, juce::Image::BitmapData::readOnly);

            for (int y = 0; y < height; ++y)
            {
                for (int x = 0; x < width; ++x)
                {
                    const auto colour = frame.getPixelColour (x, y);

                    if (colour != first.getPixelColour (x, y) && ! changing.contains (x, y))
                        changing = changing.getUnion ({ x, y, 1, 1 });

                    if (hasAlpha && colour.getAlpha() != 0)
                        tileDrawn[(size_t) ((y / drawnAreaTile) * tilesAcross + x / drawnAreaTile)] = true;
                }
            }
        }

        const juce::Rectangle<int> bounds (width, height);

        for (int ty = 0; ty < tilesDown; ++ty)
        {
            for (int tx = 0; tx < tilesAcross; ++tx)
            {
                auto end = tx;

                while (end < tilesAcross && tileDrawn[(size_t) (ty * tilesAcross + end)])
                    ++end;

                if (end > tx)
                    drawn.add (juce::Rectangle<int> (tx * drawnAreaTile, ty * drawnAreaTile, (end - tx) * drawnAreaTile, drawnAreaTile)
                                   .getIntersection (bounds));

                tx = end;
            }
        }

        drawn.consolidate();

        if (4 * areaOf (drawn) > 3 * (juce::int64) width * height)
            drawn.clear();
    }

    // Drawn one panel pixel to one device pixel, a picture is the same whatever area is repainted
    // or clipped. Scaled, the renderer's interpolation follows the shape of the area it fills, so
    // repainting or clipping a different area than before could change a pixel here and there.
    bool isDrawnOneToOne (const juce::Component& component)
    {
        const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect (component.getScreenBounds());
        return juce::Component::getApproximateScaleFactorForComponent (&component) == 1.0f && display != nullptr && display->scale == 1.0;
    }

    void openWebPage (const char* path)
    {
        juce::URL ("https://" + juce::String (OrqAboutScreen::webSite) + path).launchInDefaultBrowser();
    }

    // Truncates toward zero like a plain cast, but stays defined for values outside the int range.
    int truncateToInt (float value) noexcept
    {
        if (value <= (float) std::numeric_limits<int>::min())
            return std::numeric_limits<int>::min();

        if (value >= (float) std::numeric_limits<int>::max())
            return std::numeric_limits<int>::max();

        return (int) value;
    }
}

bool isPopupClick (const juce::MouseEvent& e) noexcept
{
    return e.mods.isRightButtonDown() || e.mods.isCtrlDown();
}

//==============================================================================
ImgRotaryKnob::ImgRotaryKnob (juce::Image stripImage, int)
    : FilmStrip (std::move (stripImage), PanelLayout::knobFrames)
{
    setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    setRange (0.0, 1.0, 0.0);
    setSliderSnapsToMousePosition (false);
    setMouseDragSensitivity (128);
}

ImgRotaryKnob::~ImgRotaryKnob() = default;

void ImgRotaryKnob::enableValueBubble (juce::Component& parent)
{
    bubbleParent = &parent;
    setPopupDisplayEnabled (true, false, bubbleParent);
}

void ImgRotaryKnob::mouseDown (const juce::MouseEvent& e)
{
    juce::Slider::mouseDown (e);

    if (getCurrentPopupDisplay() == nullptr)
        showBubbleAsOnHover (e);
}

void ImgRotaryKnob::mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel)
{
    juce::Slider::mouseWheelMove (e, wheel);

    if (! e.mods.isAnyMouseButtonDown())
        showBubbleAsOnHover (e);
}

// The framework opens the bubble for a drag only, not for a wheel step or for a click that sets
// the double-click value: those get its hover bubble, which goes 2000 ms after the last wheel
// step, or 200 ms after the click's release.
void ImgRotaryKnob::showBubbleAsOnHover (const juce::MouseEvent& e)
{
    if (bubbleParent == nullptr)
        return;

    setPopupDisplayEnabled (true, true, bubbleParent);
    juce::Slider::mouseMove (e);   // opens the bubble, or restarts an open one's time-out
    setPopupDisplayEnabled (true, false, bubbleParent);
}

void ImgRotaryKnob::paint (juce::Graphics& g)
{
    const auto proportion = (getValue() - getMinimum()) / (getMaximum() - getMinimum());
    drawFrame (g, (int) ((numFrames - 1) * proportion));
}

juce::String ImgRotaryKnob::getTextFromValue (double)
{
    return getTextValueSuffix();
}

//==============================================================================
ImgToggleButton::ImgToggleButton (juce::Image stripImage, int frames)
    : FilmStrip (std::move (stripImage), frames)
{
}

ImgToggleButton::~ImgToggleButton() = default;

void ImgToggleButton::mouseDown (const juce::MouseEvent& e)
{
    if (! isPopupClick (e))
        isPressed = true;
}

void ImgToggleButton::mouseUp (const juce::MouseEvent& e)
{
    if (isPopupClick (e))
    {
        if (onRightClick != nullptr)
            onRightClick();

        return;
    }

    isPressed = false;
    setToggleState (! getToggleState(), juce::sendNotification);
    currentFrame = getToggleState() ? numFrames - 1 : 0;
    repaint();
}

void ImgToggleButton::paint (juce::Graphics& g)
{
    if (! isPressed)
        currentFrame = getToggleState() ? numFrames - 1 : 0;

    drawFrame (g, currentFrame);
}

//==============================================================================
StaticImage::StaticImage (juce::Image stripImage, int frames)
    : FilmStrip (std::move (stripImage), frames)
{
    measureStripAreas (frameViews, changingArea, drawnArea);
}

StaticImage::~StaticImage() = default;

juce::Rectangle<int> StaticImage::selectFrame (float value)
{
    const auto frame = (int) (((float) numFrames - 1.0f) * value);

    if (frame == currentFrame)
        return {};

    const auto previous = std::exchange (currentFrame, frame);

    // Only frames of the strip are measured; a value outside 0..1 can pick a frame beyond it.
    if (isFrame (previous) && isFrame (frame) && isDrawnOneToOne (*this))
        return changingArea;

    return getLocalBounds();
}

void StaticImage::setValue (float value)
{
    repaint (selectFrame (value));
}

void StaticImage::paint (juce::Graphics& g)
{
    if (! image.isValid())
    {
        g.fillAll (juce::Colours::black);
        return;
    }

    // Pixels outside the drawn area are transparent in every frame: skipping them changes nothing
    // and spares the renderer most of a sparse picture.
    if (! drawnArea.isEmpty() && isFrame (currentFrame) && g.getInternalContext().getPhysicalPixelScaleFactor() == 1.0f)
        g.reduceClipRegion (drawnArea);

    drawFrame (g, currentFrame);
}

//==============================================================================
MainWindow::MainWindow (SpoolwarpAudioProcessor& processor)
    : processorRef (processor)
{
    openGLContext.attachTo (*this);
    setSize (PanelLayout::width, PanelLayout::height);

    const auto rollerImage = loadImage (BinaryData::roller_png, BinaryData::roller_pngSize);

    serviceSticker = std::make_unique<StaticImage> (loadImage (BinaryData::sticker_png, BinaryData::sticker_pngSize), 1);
    addImageChild (*serviceSticker, PanelLayout::sticker);
    tapeStrip = std::make_unique<StaticImage> (loadImage (BinaryData::tape_png, BinaryData::tape_pngSize), PanelLayout::tapeFrames);
    addImageChild (*tapeStrip, PanelLayout::tapeWindow);
    rollerTop = std::make_unique<StaticImage> (rollerImage, PanelLayout::rollerFrames);
    addImageChild (*rollerTop, PanelLayout::rollerTop);
    rollerBottom = std::make_unique<StaticImage> (rollerImage, PanelLayout::rollerFrames);
    addImageChild (*rollerBottom, PanelLayout::rollerBottom);
    pressurePad = std::make_unique<StaticImage> (loadImage (BinaryData::pad_png, BinaryData::pad_pngSize), 1);
    addImageChild (*pressurePad, PanelLayout::pad);
    motorLamp = std::make_unique<StaticImage> (loadImage (BinaryData::lamp_png, BinaryData::lamp_pngSize), PanelLayout::lampFrames);
    addImageChild (*motorLamp, PanelLayout::lamp);

    std::unique_ptr<ImgRotaryKnob> MainWindow::*const knobs[] { &MainWindow::inputLeftKnob, &MainWindow::inputRightKnob,
                                                                &MainWindow::swellKnob,     &MainWindow::repeatKnob,
                                                                &MainWindow::toneKnob,      &MainWindow::speedKnob };

    for (int row = 0; row < numKnobs; ++row)
    {
        auto& knob = this->*knobs[row];
        knob = std::make_unique<ImgRotaryKnob> (loadImage (BinaryData::knob_png, BinaryData::knob_pngSize), PanelLayout::knobFrames);
        addControlChild (*knob, PanelLayout::knobs[row], row);
    }

    delayOnOffSwitch = std::make_unique<ImgToggleButton> (loadImage (BinaryData::switch_motor_png, BinaryData::switch_motor_pngSize),
                                                          PanelLayout::switchFrames);
    addControlChild (*delayOnOffSwitch, PanelLayout::motorSwitch, PanelLayout::delayOnOffRow);

    std::unique_ptr<ImgToggleButton> MainWindow::*const headSwitches[] { &MainWindow::head1Switch, &MainWindow::head2Switch,
                                                                         &MainWindow::head3Switch, &MainWindow::toneDefeatSwitch };

    for (int i = 0; i < (int) std::size (headSwitches); ++i)
    {
        auto& control = this->*headSwitches[i];
        control = std::make_unique<ImgToggleButton> (loadImage (BinaryData::switch_head_png, BinaryData::switch_head_pngSize),
                                                     PanelLayout::switchFrames);
        addControlChild (*control, PanelLayout::headSwitches[i], PanelLayout::firstHeadSwitchRow + i);
    }

    addParameterExtra();

    helpOverlay = std::make_unique<StaticImage> (loadImage (BinaryData::help_png, BinaryData::help_pngSize), 1);
    helpOverlay->setBounds (0, 0, getWidth(), getHeight());
    addChildComponent (*helpOverlay);
    helpOverlay->addMouseListener (this, true);

    aboutBox = std::make_unique<OrqAboutScreen>();
    aboutBox->setBounds (0, 0, getWidth(), getHeight());
    aboutBox->onCornerClick = [this] { serviceSticker->setVisible (! serviceSticker->isVisible()); };
    addChildComponent (*aboutBox);

    startTimer (refreshPeriodMs);
}

MainWindow::~MainWindow()
{
    openGLContext.detach();
    stopTimer();
}

void MainWindow::addImageChild (StaticImage& child, juce::Rectangle<int> bounds)
{
    child.setBounds (bounds);
    child.addMouseListener (this, true);
    child.setVisible (true);
    addChildComponent (child);
}

void MainWindow::addControlChild (juce::Component& control, juce::Rectangle<int> bounds, int row)
{
    control.setBounds (bounds);
    control.setComponentID (FxParams[row].textId);
    control.setVisible (true);
    addChildComponent (control);
}

void MainWindow::paint (juce::Graphics& g)
{
    g.drawImageAt (loadImage (BinaryData::panel_png, BinaryData::panel_pngSize), 0, 0);
}

void MainWindow::resized() {}

//==============================================================================
void MainWindow::addParameterExtra()
{
    for (int row = 0; row < numFxParams; ++row)
    {
        auto* control = findChildWithID (FxParams[row].textId);

        if (auto* knob = dynamic_cast<ImgRotaryKnob*> (control))
        {
            knob->addListener (this);
            knob->setDoubleClickReturnValue (true, (double) ((float) FxParams[row].defaultMidi / 127.0f));
            knob->enableValueBubble (*this);
            refreshValueSuffix (*knob, row);
            knob->onDragStart = [this, knob, row] { refreshValueSuffix (*knob, row); };
            knob->onValueChange = [this, knob, row] { refreshValueSuffix (*knob, row); };
        }
        else if (auto* button = dynamic_cast<juce::ToggleButton*> (control))
        {
            button->addListener (this);
        }
    }
}

void MainWindow::refreshValueSuffix (juce::Slider& knob, int row)
{
    const auto value = processorRef.params[(size_t) row]->getValue();
    knob.setTextValueSuffix (juce::String::formatted ("%d%%", truncateToInt (value * 100.0f)));
}

void MainWindow::sliderValueChanged (juce::Slider* slider)
{
    const auto index = processorRef.getIntParamIdFromTextId (slider->getComponentID());

    if (index < 0)
        return;

    const auto value = (float) slider->getValue();
    auto* parameter = processorRef.params[(size_t) index];
    parameter->setValue (value);
    parameter->sendValueChangedMessageToListeners (value);
}

void MainWindow::buttonClicked (juce::Button* button)
{
    const auto index = processorRef.getIntParamIdFromTextId (button->getComponentID());

    if (index < 0)
        return;

    const auto value = button->getToggleState() ? 1.0f : 0.0f;
    auto* parameter = processorRef.params[(size_t) index];
    parameter->setValue (value);
    parameter->sendValueChangedMessageToListeners (value);
}

void MainWindow::timerCallback()
{
    for (int row = 0; row < numFxParams; ++row)
    {
        const auto value = processorRef.params[(size_t) row]->getValue();
        auto* control = findChildWithID (FxParams[row].textId);

        if (row < numKnobs)
        {
            if (auto* knob = dynamic_cast<juce::Slider*> (control))
                knob->setValue ((double) value, juce::dontSendNotification);
        }
        else if (auto* button = dynamic_cast<juce::Button*> (control))
        {
            button->setToggleState (value > 0.0f, juce::dontSendNotification);
        }
    }

    const auto& dsp = *processorRef.engine->dsp;
    const auto fraction = (float) dsp.tapePos.get() / (float) dsp.tapeLength;

    juce::RectangleList<int> changed;

    for (auto* strip : { tapeStrip.get(), rollerTop.get(), rollerBottom.get() })
        changed.add (strip->selectFrame (fraction) + strip->getPosition());

    // Every repaint wakes the OpenGL render thread at once, and a second repaint in the same tick
    // usually comes after it has taken its work: another frame, with nothing new in it but the copy
    // of the whole window. Drawn one to one, the areas can be joined into one repaint; scaled, they
    // are repainted as they are (the rollers lie within the tape, so mostly that is one too).
    if (isDrawnOneToOne (*this))
        repaint (changed.getBounds());
    else
        for (const auto& area : changed)
            repaint (area);

    motorLamp->setValue (processorRef.params[PanelLayout::delayOnOffRow]->getValue() > 0.0f ? 1.0f : 0.0f);

    showAgainWhereUncovered();
}

// The panel is redrawn only where a widget changes, so the screen must be refreshed whenever part
// of the window comes back into view. The framework does so when the Expose event arrives, but the
// event for the area that one of the application's own windows leaves behind is often read from
// the display while that window is destroyed, and then waits unseen until some other event comes:
// the closed dialog stays on the panel. So, once a tick, every window of the application that has
// gone, moved or shrunk since the last tick shows the panel's whole picture again (its buffer is
// intact, so that is one copy to the screen) and repaints the window's own parts it uncovered.
void MainWindow::showAgainWhereUncovered()
{
    auto* window = getTopLevelComponent();
    const auto windowBounds = window->getScreenBounds();
    auto& desktop = juce::Desktop::getInstance();
    auto uncovered = ! ownWindow.isEmpty() && windowBounds != ownWindow;

    otherWindowsNow.clear();

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* other = desktop.getComponent (i); other != window && other->isShowing())
            otherWindowsNow.push_back (other->getScreenBounds());

    for (const auto& area : otherWindows)
    {
        if (std::find (otherWindowsNow.begin(), otherWindowsNow.end(), area) == otherWindowsNow.end() && area.intersects (windowBounds))
        {
            uncovered = true;
            window->repaint (window->getLocalArea (nullptr, area));
        }
    }

    std::swap (otherWindows, otherWindowsNow);
    ownWindow = windowBounds;

    if (uncovered)
        openGLContext.triggerRepaint();
}

//==============================================================================
void MainWindow::mouseUp (const juce::MouseEvent& e)
{
    const auto position = e.getEventRelativeTo (this).getPosition();

    if (isPopupClick (e))
    {
        showPopupMenu();
        return;
    }

    if (helpOverlay->isVisible())
    {
        juce::Desktop::getInstance().getAnimator().fadeOut (helpOverlay.get(), overlayFadeMs);
        return;
    }

    if (PanelLayout::nameplate.contains (position))
        aboutBox->Show();
}

void MainWindow::showPopupMenu()
{
    juce::LookAndFeel_V4 menuLook;
    menuLook.setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xf0101010));
    menuLook.setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (0xffa0a0a0));
    menuLook.setColour (juce::PopupMenu::highlightedTextColourId, juce::Colour (0xff000000));

    juce::PopupMenu sizes;

    for (int itemId = smallestSizeItem; itemId <= largestSizeItem; ++itemId)
        sizes.addItem (itemId, juce::String ((itemId - 100) * 10) + "%");

    juce::PopupMenu menu;
    menu.setLookAndFeel (&menuLook);
    menu.addSectionHeader ("Orq Spoolwarp");
    menu.addSubMenu ("Window size", sizes, true);
    menu.addItem (showHelpItem, "Show help overlay", true, false);
    menu.addSeparator();
    menu.addItem (visitSiteItem, "Visit Orq web site", true, false);
    menu.addItem (donateItem, "Donate (opens in web browser)", true, false);
    menu.addSeparator();
    menu.addItem (aboutItem, "About", true, false);

    performMenuItem (menu.show());
}

void MainWindow::performMenuItem (int itemId)
{
    switch (itemId)
    {
        case showHelpItem: juce::Desktop::getInstance().getAnimator().fadeIn (helpOverlay.get(), overlayFadeMs); break;
        case visitSiteItem: openWebPage ("/"); break;
        case donateItem: openWebPage ("/?a=page&p=donate"); break;
        case aboutItem: aboutBox->Show(); break;
        default:
            if (itemId >= smallestSizeItem)
                setWindowSize (itemId);
            break;
    }
}

void MainWindow::setWindowSize (int itemId)
{
    const auto size = PanelLayout::sizeAtTenths (itemId - 100);

    if (auto* editor = getParentComponent())
        editor->setBounds (editor->getX(), editor->getY(), size.x, size.y);
}
