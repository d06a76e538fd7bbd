#include "panel_support.h"

#include "BinaryData.h"

#include <atomic>

#include <sys/time.h>

// The test program is linked with --wrap=gettimeofday.
namespace
{
    std::atomic<long> clockShiftSeconds { 0 };
}

extern "C" int __real_gettimeofday (struct timeval* tv, void* tz);

extern "C" int __wrap_gettimeofday (struct timeval* tv, void* tz)
{
    const int result = __real_gettimeofday (tv, tz);

    if (tv != nullptr)
        tv->tv_sec += clockShiftSeconds.load();

    return result;
}

namespace
{
    // One framework GUI session for the whole test process, on the main thread.
    struct GuiEnvironment : public ::testing::Environment
    {
        void SetUp() override { gui = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
        void TearDown() override { gui.reset(); }

        std::unique_ptr<juce::ScopedJuceInitialiser_GUI> gui;
    };

    [[maybe_unused]] const auto* const guiEnvironment = ::testing::AddGlobalTestEnvironment (new GuiEnvironment);

    bool isMenuWindow (juce::Component& component)
    {
        auto* handler = component.getAccessibilityHandler();
        return handler != nullptr && handler->getRole() == juce::AccessibilityRole::popupMenu;
    }

    // The menu window's own children are its rows; a separator is the one row that the
    // framework leaves out of accessibility.
    void collectMenuItems (juce::Component& window, std::vector<panel::MenuItemHandle>& items)
    {
        for (auto* row : window.getChildren())
        {
            if (auto* handler = row->getAccessibilityHandler())
            {
                if (handler->getRole() == juce::AccessibilityRole::menuItem)
                    items.push_back ({ handler->getTitle(), handler, handler->getCurrentState().isChecked() });
                else if (handler->getRole() == juce::AccessibilityRole::ignored && row->getNumChildComponents() == 0)
                    items.push_back ({ panel::MenuItemHandle::separator, nullptr, false });
            }
        }
    }
}

namespace panel
{
    void pump (int milliseconds)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
    }

    //==============================================================================
    OnDesktop::OnDesktop (juce::Component& c)
        : component (c)
    {
        component.setTopLeftPosition (0, 0);
        component.addToDesktop (0);
        component.setVisible (true);
        pump (50);
    }

    OnDesktop::~OnDesktop()
    {
        component.removeFromDesktop();
    }

    //==============================================================================
    Mouse::Mouse (juce::Component& top)
        : topLevel (top),
          clock (juce::Time::currentTimeMillis())
    {
    }

    void Mouse::send (const juce::Component& where, juce::Point<float> position, juce::ModifierKeys mods)
    {
        auto* peer = topLevel.getPeer();
        ASSERT_NE (peer, nullptr) << "the component must be on the desktop";

        // The window system's event handler publishes the modifier keys before it dispatches.
        juce::ModifierKeys::currentModifiers = mods;
        clock += 10;
        peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, topLevel.getLocalPoint (&where, position), mods,
                                juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, clock);
    }

    void Mouse::press (const juce::Component& where, juce::Point<float> position, juce::ModifierKeys buttonAndKeys)
    {
        send (where, position, buttonAndKeys.withoutMouseButtons());
        held = buttonAndKeys;
        send (where, position, held);
    }

    void Mouse::dragTo (const juce::Component& where, juce::Point<float> position)
    {
        send (where, position, held);
    }

    void Mouse::release (const juce::Component& where, juce::Point<float> position)
    {
        const auto keys = held.withoutMouseButtons();
        held = {};
        send (where, position, keys);
        juce::ModifierKeys::currentModifiers = {};
    }

    void Mouse::click (const juce::Component& where, juce::Point<float> position, juce::ModifierKeys buttonAndKeys)
    {
        press (where, position, buttonAndKeys);
        release (where, position);
        clock += 1000;
    }

    void Mouse::click (const juce::Component& target, juce::ModifierKeys buttonAndKeys)
    {
        click (target, target.getLocalBounds().toFloat().getCentre(), buttonAndKeys);
    }

    void Mouse::doubleClick (const juce::Component& where, juce::Point<float> position)
    {
        press (where, position);
        release (where, position);
        press (where, position);
        release (where, position);
        clock += 1000;
    }

    void Mouse::pointAt (const juce::Component& where, juce::Point<float> position)
    {
        juce::Desktop::setMousePosition (where.localPointToGlobal (position).roundToInt());
        pump (20);
    }

    void Mouse::wheel (const juce::Component& where, juce::Point<float> position, float deltaY)
    {
        send (where, position, {});
        clock += 10;
        juce::MouseWheelDetails details { 0.0f, deltaY, false, false, false };
        topLevel.getPeer()->handleMouseWheel (juce::MouseInputSource::InputSourceType::mouse, topLevel.getLocalPoint (&where, position),
                                              clock, details);
    }

    //==============================================================================
    juce::Image frameOf (const juce::Image& strip, int numFrames, int frame)
    {
        const auto frameHeight = strip.getHeight() / numFrames;
        return strip.getClippedImage ({ 0, frame * frameHeight, strip.getWidth(), frameHeight });
    }

    juce::Image render (juce::Component& component)
    {
        return component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
    }

    bool samePixels (const juce::Image& a, const juce::Image& b)
    {
        if (a.getBounds() != b.getBounds())
            return false;

        const juce::Image::BitmapData pixelsA (a, juce::Image::BitmapData::readOnly);
        const juce::Image::BitmapData pixelsB (b, juce::Image::BitmapData::readOnly);

        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (pixelsA.getPixelColour (x, y) != pixelsB.getPixelColour (x, y))
                    return false;

        return true;
    }

    ::testing::AssertionResult showsFrame (juce::Component& component, const juce::Image& strip, int numFrames, int frame)
    {
        const auto expected = frameOf (strip, numFrames, frame);
        const auto shown = matchingFrames (render (component), strip, numFrames);
        std::vector<int> twins;

        for (int k = 0; k < numFrames; ++k)
            if (samePixels (frameOf (strip, numFrames, k), expected))
                twins.push_back (k);

        if (shown == twins)
            return ::testing::AssertionSuccess();

        auto result = ::testing::AssertionFailure() << "expected frame " << frame << ", the rendering matches frames {";

        for (auto k : shown)
            result << " " << k;

        return result << " }";
    }

    std::vector<int> matchingFrames (const juce::Image& rendered, const juce::Image& strip, int numFrames)
    {
        std::vector<int> frames;

        for (int k = 0; k < numFrames; ++k)
            if (samePixels (rendered, frameOf (strip, numFrames, k)))
                frames.push_back (k);

        return frames;
    }

    //==============================================================================
    HostNotifications::HostNotifications (juce::AudioProcessorParameter& p)
        : parameter (p)
    {
        parameter.addListener (this);
    }

    HostNotifications::~HostNotifications()
    {
        parameter.removeListener (this);
    }

    void HostNotifications::parameterValueChanged (int, float newValue)
    {
        ++count;
        lastValue = newValue;
    }

    //==============================================================================
    MenuProbe::MenuProbe (Action a)
        : action (std::move (a))
    {
        startTimer (5);
    }

    MenuProbe::~MenuProbe()
    {
        stopTimer();
    }

    void MenuProbe::timerCallback()
    {
        auto& desktop = juce::Desktop::getInstance();

        for (int i = 0; i < desktop.getNumComponents(); ++i)
        {
            auto* window = desktop.getComponent (i);

            if (window == nullptr || handled.contains (window) || ! window->isShowing() || ! isMenuWindow (*window))
                continue;

            std::vector<MenuItemHandle> items;
            collectMenuItems (*window, items);

            if (items.empty())
                continue;

            handled.add (window);
            action (level++, items, *window);
            return;
        }
    }

    void MenuProbe::press (const std::vector<MenuItemHandle>& items, const juce::String& title)
    {
        for (const auto& item : items)
        {
            if (item.title == title && item.handler != nullptr)
            {
                item.handler->getActions().invoke (juce::AccessibilityActionType::press);
                return;
            }
        }

        ADD_FAILURE() << "no menu item " << title;
        juce::PopupMenu::dismissAllActiveMenus();
    }

    //==============================================================================
    PanelFixture::PanelFixture()
        : processor (std::make_unique<SpoolwarpAudioProcessor>()),
          editor (processor->createEditor())
    {
        for (auto* c : editor->getChildren())
            if (auto* window = dynamic_cast<MainWindow*> (c))
                mainWindow = window;

        for (auto* c : mainWindow->getChildren())
            children.push_back (c);

        onDesktop = std::make_unique<OnDesktop> (*editor);
        mouse = std::make_unique<Mouse> (*editor);
    }

    PanelFixture::~PanelFixture()
    {
        juce::PopupMenu::dismissAllActiveMenus();
        mouse.reset();
        onDesktop.reset();
        editor.reset();
        processor.reset();
    }

    juce::Component& PanelFixture::child (const juce::String& componentID) const
    {
        auto* c = mainWindow->findChildWithID (componentID);

        if (c == nullptr)
            throw std::runtime_error ("no child " + componentID.toStdString());

        return *c;
    }

    juce::Component& PanelFixture::childAt (int index) const
    {
        return *children.at ((size_t) index);
    }

    StaticImage& PanelFixture::image (int index) const
    {
        return dynamic_cast<StaticImage&> (childAt (index));
    }

    SpoolwarpAudioProcessor::OrqParameter& PanelFixture::parameter (int row) const
    {
        return *processor->params[row];
    }

    ClockShift::ClockShift (int days)
    {
        clockShiftSeconds = (long) days * 86400;
    }
    ClockShift::~ClockShift()
    {
        clockShiftSeconds = 0;
    }

    juce::Image embedded (const char* resourceName)
    {
        int size = 0;
        const auto* data = BinaryData::getNamedResource (resourceName, size);
        return juce::ImageCache::getFromMemory (data, size);
    }
}
