// The main window's mouse releases: the pop-up menu (items, colours, window sizes, help
// overlay, web links, about box), the about box's hot spot, and the about box itself.

#include "panel_support.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace
{
    const juce::Point<float> barePanel { 40.0f, 40.0f };

    // The point of a pixel in main-window coordinates, slightly inside it.
    juce::Point<float> pixel (int x, int y)
    {
        return { (float) x + 0.25f, (float) y + 0.25f };
    }
}

class Menu : public panel::PanelFixture
{
protected:
    juce::Component& overlay() const { return childAt (panel::helpOverlayIndex); }
    OrqAboutScreen& aboutBox() const { return dynamic_cast<OrqAboutScreen&> (childAt (panel::aboutBoxIndex)); }
    juce::Component& sticker() const { return childAt (panel::stickerIndex); }

    // Opens the menu with a release of the given buttons and presses the titles, one per level;
    // an empty path dismisses it. Returns the number of menu levels that opened.
    int choose (std::vector<juce::String> path, juce::ModifierKeys buttons = panel::Mouse::right(), juce::Point<float> where = barePanel)
    {
        panel::MenuProbe probe (
            [path] (int level, const auto& items, auto&)
            {
            if ((size_t) level < path.size())
                panel::MenuProbe::press (items, path[(size_t) level]);
            else
                juce::PopupMenu::dismissAllActiveMenus();
        });

        mouse->click (*mainWindow, where, buttons);
        return probe.menusSeen();
    }

    // The rows of the menu and of its size submenu; a ticked item's title ends in " (ticked)".
    std::vector<std::vector<juce::String>> menuTitles()
    {
        std::vector<std::vector<juce::String>> titles;
        panel::MenuProbe probe (
            [&titles] (int level, const auto& items, auto&)
            {
            titles.emplace_back();

            for (const auto& item : items)
                titles.back().push_back (item.title + (item.ticked ? " (ticked)" : ""));

            if (level == 0)
                panel::MenuProbe::press (items, "Window size");
            else
                juce::PopupMenu::dismissAllActiveMenus();
        });

        mouse->click (*mainWindow, barePanel, panel::Mouse::right());
        return titles;
    }
};

//==============================================================================
TEST_F (Menu, ItemsInOrderWithTheSizeSubmenuNoneTicked)
{
    const auto titles = menuTitles();
    ASSERT_EQ (titles.size(), 2u);

    const juce::String separator = panel::MenuItemHandle::separator;
    const std::vector<juce::String> main {
        "Orq Spoolwarp", "Window size", "Show help overlay", separator, "Visit Orq web site", "Donate (opens in web browser)",
        separator,       "About"
    };
    const std::vector<juce::String> sizes { "70%", "80%", "90%", "100%", "110%", "120%", "130%" };
    EXPECT_EQ (titles[0], main);
    EXPECT_EQ (titles[1], sizes);
}

TEST_F (Menu, ColoursComeFromItsOwnLookAndFeel)
{
    std::vector<juce::Colour> colours;
    panel::MenuProbe probe (
        [&colours] (int, const auto&, juce::Component& window)
        {
        auto& look = window.getLookAndFeel();
        colours = { look.findColour (juce::PopupMenu::backgroundColourId), look.findColour (juce::PopupMenu::highlightedBackgroundColourId),
                    look.findColour (juce::PopupMenu::highlightedTextColourId) };
        juce::PopupMenu::dismissAllActiveMenus();
    });

    mouse->click (*mainWindow, barePanel, panel::Mouse::right());

    const std::vector<juce::Colour> expected { juce::Colour (0xf0101010), juce::Colour (0xffa0a0a0), juce::Colour (0xff000000) };
    EXPECT_EQ (colours, expected);
    EXPECT_EQ (&mainWindow->getLookAndFeel(), &juce::LookAndFeel::getDefaultLookAndFeel());
    EXPECT_NE (mainWindow->findColour (juce::PopupMenu::backgroundColourId), expected[0]);
}

struct SizeItem
{
    const char* title;
    int width, height;
};

void PrintTo (const SizeItem& item, std::ostream* os)
{
    *os << item.title << ": " << item.width << " x " << item.height;
}

class MenuSizes : public Menu, public ::testing::WithParamInterface<SizeItem>
{
};

TEST_P (MenuSizes, SetTheEditorSizeAtItsPosition)
{
    const auto item = GetParam();
    const auto position = editor->getPosition();

    ASSERT_EQ (choose ({ "Window size", item.title }), 2);

    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (position.x, position.y, item.width, item.height));
    EXPECT_EQ (processor->editorScale, (float) item.width / 879.0f);
    EXPECT_EQ (mainWindow->getTransform(), juce::AffineTransform::scale ((float) item.width / 879.0f));
}

INSTANTIATE_TEST_SUITE_P (Panel, MenuSizes,
                          ::testing::Values (SizeItem { "70%", 615, 452 }, SizeItem { "80%", 703, 516 }, SizeItem { "90%", 791, 581 },
                                             SizeItem { "100%", 879, 646 }, SizeItem { "110%", 966, 710 }, SizeItem { "120%", 1054, 775 },
                                             SizeItem { "130%", 1142, 839 }),
                          [] (const auto& testInfo) { return std::to_string (testInfo.param.width); });

TEST_F (Menu, CtrlClickOpensItToo)
{
    EXPECT_EQ (choose ({}, panel::Mouse::ctrlLeft()), 1);
    EXPECT_EQ (choose ({}, panel::Mouse::right(), { 500.0f, 480.0f }), 1);   // over the sticker
}

TEST_F (Menu, MiddleButtonReleaseIsAPlainRelease)
{
    EXPECT_EQ (choose ({}, panel::Mouse::middle()), 0);
    EXPECT_FALSE (aboutBox().isVisible());

    EXPECT_EQ (choose ({}, panel::Mouse::middle(), pixel (450, 480)), 0);
    EXPECT_TRUE (aboutBox().isVisible());
}

TEST_F (Menu, DismissingChangesNothing)
{
    EXPECT_EQ (choose ({}), 1);

    EXPECT_EQ (editor->getBounds().getWidth(), 879);
    EXPECT_FALSE (overlay().isVisible());
    EXPECT_FALSE (aboutBox().isVisible());
}

TEST_F (Menu, AboutItemShowsTheAboutBoxOnTop)
{
    overlay().toFront (false);
    choose ({ "About" });

    EXPECT_TRUE (aboutBox().isVisible());
    EXPECT_EQ (mainWindow->getChildComponent (mainWindow->getNumChildComponents() - 1), &aboutBox());
    panel::pump (700);
    EXPECT_EQ (aboutBox().getAlpha(), 1.0f);
}

//==============================================================================
TEST_F (Menu, HelpOverlayFadesInAndOutAndTakesTheNextPlainRelease)
{
    auto& animator = juce::Desktop::getInstance().getAnimator();

    choose ({ "Show help overlay" });
    EXPECT_TRUE (overlay().isVisible());
    EXPECT_LT (overlay().getAlpha(), 1.0f);
    EXPECT_TRUE (animator.isAnimating (&overlay()));

    panel::pump (400);
    EXPECT_EQ (overlay().getAlpha(), 1.0f);
    EXPECT_FALSE (animator.isAnimating (&overlay()));

    choose ({ "Show help overlay" });
    EXPECT_EQ (overlay().getAlpha(), 1.0f);
    EXPECT_FALSE (animator.isAnimating (&overlay()));

    // Menus open over the overlay and leave it alone.
    EXPECT_EQ (choose ({}, panel::Mouse::right()), 1);
    EXPECT_EQ (choose ({}, panel::Mouse::ctrlLeft()), 1);
    EXPECT_TRUE (overlay().isVisible());

    // A plain release inside the hot spot only closes the overlay; the next one opens the about box.
    mouse->click (*mainWindow, pixel (450, 480));
    EXPECT_FALSE (overlay().isVisible());
    EXPECT_TRUE (animator.isAnimating());
    EXPECT_FALSE (aboutBox().isVisible());

    mouse->click (*mainWindow, pixel (450, 480));
    EXPECT_TRUE (aboutBox().isVisible());
}

TEST_F (Menu, FadesInAndOutTakeTheirTime)
{
    struct Fade
    {
        const char* what;
        std::function<void()> start;
        std::function<juce::Component&()> fading;
        int milliseconds;
    };

    // A fade-out hides the component at once and fades a proxy of it, which the animator lays above it.
    const auto proxy = [this]() -> juce::Component&
    {
        for (auto* c : mainWindow->getChildren())
            if (std::find (children.begin(), children.end(), c) == children.end())
                return *c;

        throw std::runtime_error ("no fading proxy");
    };

    const Fade fades[] {
        { "help overlay in", [this] { choose ({ "Show help overlay" }); }, [this]() -> juce::Component& { return overlay(); }, 250 },
        { "help overlay out", [this] { mouse->click (*mainWindow, barePanel); }, proxy, 250 },
        { "about box in", [this] { choose ({ "About" }); }, [this]() -> juce::Component& { return aboutBox(); }, 500 },
        { "about box out",
          [this] {
        mouse->click (aboutBox(), { 100.0f, 100.0f });
         },
          proxy, 500 },
        };

    auto& animator = juce::Desktop::getInstance().getAnimator();

    for (const auto& fade : fades)
    {
        SCOPED_TRACE (fade.what);
        fade.start();
        panel::pump (fade.milliseconds / 2);

        const auto alpha = fade.fading().getAlpha();
        EXPECT_GT (alpha, 0.0f);
        EXPECT_LT (alpha, 1.0f);

        panel::pump (fade.milliseconds / 2 + 150);
        EXPECT_FALSE (animator.isAnimating());
        EXPECT_EQ (mainWindow->getNumChildComponents(), (int) children.size());
    }

    EXPECT_FALSE (overlay().isVisible());
    EXPECT_FALSE (aboutBox().isVisible());
}

TEST_F (Menu, ReleaseDuringTheFadeInClosesTheOverlay)
{
    choose ({ "Show help overlay" });
    ASSERT_LT (overlay().getAlpha(), 1.0f);

    mouse->click (*mainWindow, barePanel);
    EXPECT_FALSE (overlay().isVisible());
}

//==============================================================================
namespace
{
    // Puts a stand-in for the browser launcher first on the PATH; it records the address.
    class FakeBrowser
    {
    public:
        FakeBrowser()
        {
            folder.createDirectory();
            const auto script = folder.getChildFile ("xdg-open");
            const auto path = record().getFullPathName();
            script.replaceWithText ("#!/bin/sh\nprintf '%s' \"$1\" > \"" + path + ".part\"\nmv \"" + path + ".part\" \"" + path + "\"\n",
                                    false, false, "\n");
            script.setExecutePermission (true);
            oldPath = juce::SystemStats::getEnvironmentVariable ("PATH", {});
            setenv ("PATH", (folder.getFullPathName() + ":" + oldPath).toRawUTF8(), 1);
        }

        ~FakeBrowser()
        {
            setenv ("PATH", oldPath.toRawUTF8(), 1);
            folder.deleteRecursively();
        }

        juce::String openedAddress() const
        {
            for (int i = 0; i < 300 && ! record().existsAsFile(); ++i)
                juce::Thread::sleep (10);

            return record().loadFileAsString();
        }

    private:
        juce::File record() const { return folder.getChildFile ("opened"); }

        const juce::File folder {
            juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("spoolwarp-browser", {})
        };
        juce::String oldPath;
    };
}

TEST_F (Menu, WebLinksOpenTheSiteAndTheDonationPage)
{
    const std::pair<const char*, const char*> links[] {
        { "Visit Orq web site", "https://www.spoolwarp.example/" },
        { "Donate (opens in web browser)", "https://www.spoolwarp.example/?a=page&p=donate" },
    };

    for (const auto& [title, address] : links)
    {
        FakeBrowser browser;
        choose ({ title });
        EXPECT_EQ (browser.openedAddress(), juce::String (address));
    }
}

//==============================================================================
namespace
{
    std::string hotSpotCaseName (const ::testing::TestParamInfo<std::tuple<float, std::tuple<int, int, bool>>>& testInfo)
    {
        const auto scale = std::get<0> (testInfo.param);
        const auto point = std::get<1> (testInfo.param);
        return "scale" + std::to_string ((int) (scale * 100.0f)) + "_" + std::to_string (std::get<0> (point)) + "_"
               + std::to_string (std::get<1> (point));
    }
}

class HotSpot : public Menu, public ::testing::WithParamInterface<std::tuple<float, std::tuple<int, int, bool>>>
{
};

TEST_P (HotSpot, PlainReleaseOpensTheAboutBoxInsideOnlyAtAnyScale)
{
    const auto [scale, point] = GetParam();
    const auto [x, y, opens] = point;

    if (scale != 1.0f)
        editor->setSize ((int) (879.0f * scale), (int) (scale * 646.0f));

    mouse->click (*mainWindow, pixel (x, y));
    EXPECT_EQ (aboutBox().isVisible(), opens);
}

INSTANTIATE_TEST_SUITE_P (Panel, HotSpot,
                          ::testing::Combine (::testing::Values (1.0f, 1.3f),
                                              ::testing::Values (std::make_tuple (372, 434, true), std::make_tuple (609, 541, true),
                                                                 std::make_tuple (371, 434, false), std::make_tuple (610, 500, false),
                                                                 std::make_tuple (500, 433, false), std::make_tuple (500, 542, false))),
                          hotSpotCaseName);

//==============================================================================
class AboutBox : public Menu
{
protected:
    AboutBox()
    {
        aboutBox().Show();
        panel::pump (20);
    }

    juce::Label& label() const
    {
        for (auto* c : aboutBox().getChildren())
            if (c->getName() == "lblVersionInfo")
                return dynamic_cast<juce::Label&> (*c);

        throw std::runtime_error ("no label");
    }

    void press (juce::Point<float> where, juce::ModifierKeys buttons = juce::ModifierKeys::leftButtonModifier)
    {
        mouse->click (aboutBox(), where, buttons);
    }
};

TEST (AboutBoxAlone, CornerSquarePressesRunTheCallbackAndEveryPressCloses)
{
    OrqAboutScreen box;
    int corner = 0;
    box.onCornerClick = [&corner, &box]
    {
        EXPECT_TRUE (box.isVisible()) << "the callback runs before the box closes";
        ++corner;
    };
    panel::OnDesktop onDesktop (box);
    panel::Mouse mouse (box);

    const std::tuple<float, float, int> cases[] { { 839.0f, 606.0f, 1 },
                                                  { 878.0f, 645.0f, 1 },
                                                  { 838.0f, 645.0f, 0 },
                                                  { 878.0f, 605.0f, 0 } };

    for (const auto& [x, y, calls] : cases)
    {
        SCOPED_TRACE (juce::String (x) + ", " + juce::String (y));
        corner = 0;
        box.Show();
        mouse.click (box, { x + 0.25f, y + 0.25f });

        EXPECT_FALSE (box.isVisible());
        EXPECT_EQ (corner, calls);
    }

    panel::pump (600);   // the last fade's proxy window goes before the box does
}

// In the editor the framework's 18 x 18 resize corner lies over the box's bottom-right pixels,
// so these presses stay clear of it.
TEST_F (AboutBox, CornerPressesHideThenShowTheSticker)
{
    press ({ 845.0f, 612.0f });
    EXPECT_FALSE (aboutBox().isVisible());
    EXPECT_FALSE (sticker().isVisible());

    aboutBox().Show();
    press ({ 876.0f, 620.0f });
    EXPECT_FALSE (aboutBox().isVisible());
    EXPECT_TRUE (sticker().isVisible());

    aboutBox().Show();
    press ({ 838.0f, 620.0f });
    EXPECT_TRUE (sticker().isVisible());
}

TEST_F (AboutBox, AnyButtonAndThePressOnTheLabelClose)
{
    for (auto buttons : { panel::Mouse::right(), panel::Mouse::middle(), juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier) })
    {
        aboutBox().Show();
        press ({ 100.0f, 100.0f }, buttons);
        EXPECT_FALSE (aboutBox().isVisible());
    }

    aboutBox().Show();
    mouse->click (label());
    EXPECT_FALSE (aboutBox().isVisible());
    EXPECT_TRUE (sticker().isVisible());
}

TEST_F (AboutBox, FadesInOverHalfASecond)
{
    EXPECT_TRUE (aboutBox().isVisible());
    EXPECT_LT (aboutBox().getAlpha(), 1.0f);

    panel::pump (700);
    EXPECT_EQ (aboutBox().getAlpha(), 1.0f);
}

TEST_F (AboutBox, TextLineByLine)
{
    {
        // The build date is the compilation date, not today's.
        panel::ClockShift aYearLater (400);
        ASSERT_GT (juce::Time::getCurrentTime().getYear(), juce::Time::getCompilationDate().getYear());
        aboutBox().Show();
    }

    juce::StringArray lines;
    lines.addTokens (label().getText(), "\n", {});

    const auto buildDate = juce::Time::getCompilationDate().toString (true, false);
    const juce::StringArray expected { "",
                                       "Orq Spoolwarp",
                                       lines[2],
                                       "",
                                       "Code: the Spoolwarp developers",
                                       "GUI design: the Spoolwarp developers",
                                       "Special thanks to: the Spoolwarp developers",
                                       "",
                                       "www.spoolwarp.example",
                                       "Version: 1.0.0 - build date: " + buildDate + " " };

    EXPECT_EQ (lines, expected);
    EXPECT_TRUE (lines[2].isNotEmpty());
    EXPECT_FALSE (label().getText().endsWithChar ('\n'));
    EXPECT_TRUE (juce::String ("Version: 1.0.0 - build date: " + buildDate + " ")
                     .matchesWildcard ("Version: 1.0.0 - build date: * ??? ???? ", false));
}

TEST_F (AboutBox, LabelLooksAsSet)
{
    auto& l = label();

    EXPECT_EQ (l.getBounds(), juce::Rectangle<int> (220, 215, 439, 215));
    EXPECT_EQ (l.getFont().getHeight(), 18.0f);
    EXPECT_EQ (l.getFont().getTypefaceStyle(), "Regular");
    EXPECT_EQ (l.getJustificationType(), juce::Justification (juce::Justification::centred));
    EXPECT_FALSE (l.isEditableOnSingleClick());
    EXPECT_FALSE (l.isEditableOnDoubleClick());
    EXPECT_EQ (l.findColour (juce::Label::textColourId), juce::Colour (0xffe0e0e0));
}

TEST_F (AboutBox, PaintsItsArtworkAndTheTranslucentTextBox)
{
    auto& box = aboutBox();
    box.setAlpha (1.0f);
    label().setVisible (false);
    const auto rendered = box.createComponentSnapshot (box.getLocalBounds(), true, 1.0f);

    juce::Image expected (juce::Image::ARGB, 879, 646, true);
    {
        juce::Graphics g (expected);
        g.drawImageAt (panel::embedded ("about_png"), 0, 0);
        g.setColour (juce::Colour (0xf0101010));
        g.fillRect (220, 215, 439, 215);
    }

    EXPECT_TRUE (panel::samePixels (rendered, expected));
}

TEST (AboutBoxAlone, CornerPressWithoutCallbackOnlyCloses)
{
    OrqAboutScreen box;
    panel::OnDesktop onDesktop (box);
    panel::Mouse mouse (box);

    box.Show();
    mouse.click (box, { 860.0f, 630.0f });
    EXPECT_FALSE (box.isVisible());
    panel::pump (600);   // the fade's proxy window goes before the box does
}
