// The editor shell's scale rules and the main window's children: order, classes, bounds, IDs,
// visibility, artwork, and which of them pass mouse releases on to the main window.

#include "panel_support.h"

#include "BinaryData.h"

namespace
{
    MainWindow& mainWindowOf (juce::AudioProcessorEditor& editor)
    {
        for (auto* c : editor.getChildren())
            if (auto* window = dynamic_cast<MainWindow*> (c))
                return *window;

        throw std::runtime_error ("the editor has no main window");
    }

    std::unique_ptr<juce::AudioProcessorEditor> editorFor (SpoolwarpAudioProcessor& processor)
    {
        return std::unique_ptr<juce::AudioProcessorEditor> (processor.createEditor());
    }

    struct ScaleCase
    {
        int width, height, nextWidth, nextHeight;
    };

    [[maybe_unused]] void PrintTo (const ScaleCase& c, std::ostream* out)
    {
        *out << c.width << "x" << c.height << " -> " << c.nextWidth << "x" << c.nextHeight;
    }
}

//==============================================================================
TEST (EditorShell, OpensAtDesignSizeWithoutTransform)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);

    EXPECT_EQ (editor->getWidth(), 879);
    EXPECT_EQ (editor->getHeight(), 646);
    EXPECT_EQ (mainWindowOf (*editor).getBounds(), juce::Rectangle<int> (0, 0, 879, 646));
    EXPECT_TRUE (mainWindowOf (*editor).getTransform().isIdentity());
    EXPECT_TRUE (mainWindowOf (*editor).isVisible());
    EXPECT_EQ (processor.editorScale, 1.0f);
}

TEST (EditorShell, ResizeLimitsAspectRatioAndCorner)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);
    auto* constrainer = editor->getConstrainer();

    ASSERT_NE (constrainer, nullptr);
    EXPECT_EQ (constrainer->getMinimumWidth(), 615);
    EXPECT_EQ (constrainer->getMinimumHeight(), 452);
    EXPECT_EQ (constrainer->getMaximumWidth(), 1142);
    EXPECT_EQ (constrainer->getMaximumHeight(), 839);
    EXPECT_EQ (constrainer->getFixedAspectRatio(), 879.0 / 646.0);
    EXPECT_TRUE (editor->isResizable());

    int corners = 0;

    for (auto* c : editor->getChildren())
        if (dynamic_cast<juce::ResizableCornerComponent*> (c) != nullptr)
            ++corners;

    EXPECT_EQ (corners, 1);
}

class EditorScale : public ::testing::TestWithParam<ScaleCase>
{
};

TEST_P (EditorScale, VisibleResizeSetsTheNextEditorsSize)
{
    const auto c = GetParam();
    SpoolwarpAudioProcessor processor;
    const auto scale = (float) c.width / 879.0f;

    {
        auto editor = editorFor (processor);
        editor->setVisible (true);
        editor->setSize (c.width, c.height);

        EXPECT_EQ (processor.editorScale, scale);
        EXPECT_EQ (mainWindowOf (*editor).getTransform(), juce::AffineTransform::scale (scale));
    }

    auto next = editorFor (processor);
    EXPECT_EQ (next->getWidth(), c.nextWidth);
    EXPECT_EQ (next->getHeight(), c.nextHeight);
    EXPECT_EQ (mainWindowOf (*next).getBounds(), juce::Rectangle<int> (0, 0, 879, 646));

    if (scale == 1.0f)
    {
        EXPECT_TRUE (mainWindowOf (*next).getTransform().isIdentity());
    }
    else
    {
        EXPECT_EQ (mainWindowOf (*next).getTransform(), juce::AffineTransform::scale (scale));
    }
}

INSTANTIATE_TEST_SUITE_P (Panel, EditorScale,
                          ::testing::Values (ScaleCase { 966, 710, 966, 709 }, ScaleCase { 615, 452, 615, 451 },
                                             ScaleCase { 1054, 775, 1054, 774 }, ScaleCase { 703, 516, 703, 516 },
                                             ScaleCase { 791, 581, 791, 581 }, ScaleCase { 879, 646, 879, 646 },
                                             ScaleCase { 1142, 839, 1142, 839 }));

TEST (EditorShell, StoredScalesAreSinglePrecisionQuotients)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);
    editor->setVisible (true);

    editor->setSize (966, 710);
    EXPECT_EQ (processor.editorScale, 1.0989761f);

    editor->setSize (615, 452);
    EXPECT_EQ (processor.editorScale, 0.69965869f);
}

TEST (EditorShell, ResizeWhileInvisibleChangesNothing)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);
    editor->setSize (966, 710);

    EXPECT_EQ (processor.editorScale, 1.0f);
    EXPECT_TRUE (mainWindowOf (*editor).getTransform().isIdentity());
}

TEST (EditorShell, CornerDragStaysWithinLimitsAtTheAspectRatio)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);
    panel::OnDesktop onDesktop (*editor);
    panel::Mouse mouse (*editor);

    const auto grab = [&editor] { return juce::Point<float> ((float) editor->getWidth() - 4.0f, (float) editor->getHeight() - 4.0f); };

    mouse.press (*editor, grab());
    mouse.dragTo (*editor, grab() + juce::Point<float> (3000.0f, 3000.0f));
    mouse.release (*editor, grab() + juce::Point<float> (3000.0f, 3000.0f));

    EXPECT_EQ (editor->getWidth(), 1142);
    EXPECT_NEAR (editor->getHeight(), 839, 1);
    EXPECT_EQ (processor.editorScale, 1142.0f / 879.0f);
    EXPECT_EQ (mainWindowOf (*editor).getTransform(), juce::AffineTransform::scale (1142.0f / 879.0f));

    mouse.press (*editor, grab());
    mouse.dragTo (*editor, { 10.0f, 10.0f });
    mouse.release (*editor, { 10.0f, 10.0f });

    EXPECT_EQ (editor->getWidth(), 615);
    EXPECT_NEAR (editor->getHeight(), 452, 1);
    EXPECT_EQ (processor.editorScale, 615.0f / 879.0f);

    mouse.press (*editor, grab());
    mouse.dragTo (*editor, grab() + juce::Point<float> (200.0f, 40.0f));
    mouse.release (*editor, grab() + juce::Point<float> (200.0f, 40.0f));

    EXPECT_GT (editor->getWidth(), 615);
    EXPECT_LT (editor->getWidth(), 1142);
    EXPECT_NEAR ((double) editor->getWidth() / 879.0 * 646.0, editor->getHeight(), 1.0);
}

//==============================================================================
namespace
{
    enum class Kind
    {
        image,
        knob,
        toggle,
        about
    };

    struct ChildRow
    {
        Kind kind;
        juce::Rectangle<int> bounds;
        const char* componentID;
        bool visible;
        bool forwardsMouse;
        const char* artwork;   // embedded image shown at frame 0, if any
        int frames;
    };

    const ChildRow childTable[] {
        { Kind::image, { 405, 456, 215, 58 }, "", true, true, "sticker_png", 1 },
        { Kind::image, { 118, 80, 590, 222 }, "", true, true, "tape_png", 49 },
        { Kind::image, { 149, 82, 60, 60 }, "", true, true, "roller_png", 25 },
        { Kind::image, { 124, 233, 60, 60 }, "", true, true, "roller_png", 25 },
        { Kind::image, { 118, 80, 110, 222 }, "", true, true, "pad_png", 1 },
        { Kind::image, { 257, 395, 85, 85 }, "", true, true, "lamp_png", 2 },
        { Kind::knob, { 80, 395, 85, 85 }, "pot_inl", true, false, "knob_png", 97 },
        { Kind::knob, { 169, 395, 85, 85 }, "pot_inr", true, false, "knob_png", 97 },
        { Kind::knob, { 624, 395, 85, 85 }, "pot_swl", true, false, "knob_png", 97 },
        { Kind::knob, { 713, 395, 85, 85 }, "btn_rpt", true, false, "knob_png", 97 },
        { Kind::knob, { 624, 484, 85, 85 }, "btn_ton", true, false, "knob_png", 97 },
        { Kind::knob, { 713, 484, 85, 85 }, "btn_spd", true, false, "knob_png", 97 },
        { Kind::toggle, { 460, 73, 48, 48 }, "btn_tog", true, false, "switch_motor_png", 2 },
        { Kind::toggle, { 443, 374, 41, 56 }, "btn_hd1", true, false, "switch_head_png", 2 },
        { Kind::toggle, { 485, 374, 41, 56 }, "btn_hd2", true, false, "switch_head_png", 2 },
        { Kind::toggle, { 526, 374, 41, 56 }, "btn_hd3", true, false, "switch_head_png", 2 },
        { Kind::toggle, { 567, 374, 41, 56 }, "btn_tnd", true, false, "switch_head_png", 2 },
        { Kind::image, { 0, 0, 879, 646 }, "", false, true, "help_png", 1 },
        { Kind::about, { 0, 0, 879, 646 }, "", false, false, nullptr, 0 },
    };

    bool isKind (juce::Component& c, Kind kind)
    {
        switch (kind)
        {
            case Kind::image: return dynamic_cast<StaticImage*> (&c) != nullptr;
            case Kind::knob: return dynamic_cast<ImgRotaryKnob*> (&c) != nullptr;
            case Kind::toggle: return dynamic_cast<ImgToggleButton*> (&c) != nullptr;
            case Kind::about: return dynamic_cast<OrqAboutScreen*> (&c) != nullptr;
        }

        return false;
    }

    // A point of the child that no child above it covers, in main-window coordinates.
    juce::Point<float> exposedPoint (int index)
    {
        switch (index)
        {
            case panel::tapeIndex: return { 600.0f, 250.0f };
            default: return childTable[index].bounds.toFloat().getCentre();
        }
    }
}

TEST (MainWindowChildren, OrderClassesBoundsIdsAndVisibility)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);
    auto& window = mainWindowOf (*editor);

    ASSERT_EQ (window.getNumChildComponents(), (int) std::size (childTable));
    EXPECT_EQ (window.getLocalBounds(), juce::Rectangle<int> (0, 0, 879, 646));

    for (int i = 0; i < (int) std::size (childTable); ++i)
    {
        SCOPED_TRACE ("child " + std::to_string (i + 1));
        const auto& row = childTable[i];
        auto& c = *window.getChildComponent (i);

        EXPECT_TRUE (isKind (c, row.kind));
        EXPECT_EQ (c.getBounds(), row.bounds);
        EXPECT_EQ (c.getComponentID(), juce::String (row.componentID));
        EXPECT_EQ (c.isVisible(), row.visible);
    }
}

TEST (MainWindowChildren, BeforeTheFirstTickEveryWidgetShowsFrameZero)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);
    auto& window = mainWindowOf (*editor);

    for (int i = 0; i < (int) std::size (childTable); ++i)
    {
        SCOPED_TRACE ("child " + std::to_string (i + 1));

        if (childTable[i].artwork != nullptr)
        {
            EXPECT_TRUE (
                panel::showsFrame (*window.getChildComponent (i), panel::embedded (childTable[i].artwork), childTable[i].frames, 0));
        }
    }
}

TEST (MainWindowChildren, PanelImageFillsTheWindowAndShowsWhereTheStickerWas)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);
    auto& window = mainWindowOf (*editor);
    const auto panelImage = panel::embedded ("panel_png");
    const juce::Rectangle<int> stickerArea { 405, 456, 215, 58 };

    window.getChildComponent (panel::stickerIndex)->setVisible (false);
    const auto rendered = window.createComponentSnapshot (window.getLocalBounds(), true, 1.0f);

    auto expected = juce::Image (juce::Image::ARGB, 879, 646, true);
    {
        juce::Graphics g (expected);
        g.drawImageAt (panelImage, 0, 0);
    }

    EXPECT_TRUE (panel::samePixels (rendered.getClippedImage (stickerArea), expected.getClippedImage (stickerArea)));
    EXPECT_TRUE (panel::samePixels (rendered.getClippedImage ({ 0, 0, 100, 60 }), expected.getClippedImage ({ 0, 0, 100, 60 })));
}

TEST (MainWindowChildren, TeardownDetachesTheOpenGLContextAndStopsTheTimerBeforeAnyChildIsFreed)
{
    SpoolwarpAudioProcessor processor;
    auto editor = editorFor (processor);
    auto& window = mainWindowOf (*editor);
    editor->addToDesktop (0);
    editor->setVisible (true);
    panel::pump (100);
    ASSERT_NE (juce::OpenGLContext::getContextAttachedTo (window), nullptr);

    // Looks at the main window, through its bases, when its first child is freed.
    struct FirstChildFreed : public juce::ComponentListener
    {
        FirstChildFreed (juce::Component& w, juce::Timer& t)
            : window (w),
              timer (t)
        {
        }

        void componentBeingDeleted (juce::Component&) override
        {
            if (seen)
                return;

            seen = true;
            contextAttached = juce::OpenGLContext::getContextAttachedTo (window) != nullptr;
            timerRunning = timer.isTimerRunning();
        }

        juce::Component& window;
        juce::Timer& timer;
        bool seen = false, contextAttached = true, timerRunning = true;
    };

    FirstChildFreed watcher (window, window);

    for (auto* child : window.getChildren())
        child->addComponentListener (&watcher);

    editor.reset();

    EXPECT_TRUE (watcher.seen);
    EXPECT_FALSE (watcher.contextAttached);
    EXPECT_FALSE (watcher.timerRunning);
}

TEST (EmbeddedImages, SizesAlphaAndFrames)
{
    struct Row
    {
        const char* name;
        int width, height;
        bool alpha;
        int frames;
    };

    const Row rows[] {
        { "about_png", 879, 646, false, 1 },      { "sticker_png", 215, 58, true, 1 },     { "help_png", 879, 646, true, 1 },
        { "panel_png", 879, 646, true, 1 },       { "tape_png", 590, 10878, true, 49 },    { "knob_png", 85, 8245, true, 97 },
        { "lamp_png", 85, 170, false, 2 },        { "switch_head_png", 41, 112, true, 2 }, { "pad_png", 110, 222, true, 1 },
        { "switch_motor_png", 48, 96, false, 2 }, { "roller_png", 60, 1500, true, 25 },
    };

    ASSERT_EQ (BinaryData::namedResourceListSize, (int) std::size (rows));

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.name);
        const auto image = panel::embedded (row.name);

        ASSERT_TRUE (image.isValid());
        EXPECT_EQ (image.getWidth(), row.width);
        EXPECT_EQ (image.getHeight(), row.height);
        EXPECT_EQ (image.hasAlphaChannel(), row.alpha);
        EXPECT_EQ (image.getHeight() % row.frames, 0);
    }
}

//==============================================================================
class MainWindowMouse : public panel::PanelFixture
{
protected:
    // True when a right-button release at the point opens the main window's menu.
    bool rightClickOpensMenu (juce::Point<float> pointInMainWindow)
    {
        panel::MenuProbe probe ([] (int, const auto&, auto&) { juce::PopupMenu::dismissAllActiveMenus(); });
        mouse->click (*mainWindow, pointInMainWindow, panel::Mouse::right());
        return probe.menusSeen() > 0;
    }
};

TEST_F (MainWindowMouse, ReleasesOverImagesReachTheMainWindowOthersDoNot)
{
    for (int i = 0; i < panel::helpOverlayIndex; ++i)
    {
        SCOPED_TRACE ("child " + std::to_string (i + 1));
        const auto isRoller = (i == panel::rollerTopIndex || i == panel::rollerBottomIndex);

        // The rollers lie under the pressure pad; uncover them to reach them.
        childAt (panel::padIndex).setVisible (! isRoller);
        EXPECT_EQ (rightClickOpensMenu (exposedPoint (i)), childTable[i].forwardsMouse);
    }

    childAt (panel::padIndex).setVisible (true);
    EXPECT_TRUE (rightClickOpensMenu ({ 40.0f, 40.0f }));   // the panel itself
}

TEST_F (MainWindowMouse, VisibleHelpOverlayTakesEveryClickAndForwardsIt)
{
    childAt (panel::helpOverlayIndex).setVisible (true);

    EXPECT_TRUE (rightClickOpensMenu (exposedPoint (6)));    // over a knob
    EXPECT_TRUE (rightClickOpensMenu (exposedPoint (13)));   // over a switch
    EXPECT_TRUE (childAt (panel::helpOverlayIndex).isVisible());

    mouse->click (child ("btn_hd1"));
    EXPECT_FALSE (childAt (panel::helpOverlayIndex).isVisible());
    EXPECT_FALSE (dynamic_cast<juce::Button&> (child ("btn_hd1")).getToggleState());
    EXPECT_EQ (parameter (6).getValue(), 0.0f);
}

TEST_F (MainWindowMouse, AboutBoxLiesAboveEverythingAndKeepsItsClicks)
{
    childAt (panel::helpOverlayIndex).setVisible (true);
    childAt (panel::aboutBoxIndex).setVisible (true);

    EXPECT_FALSE (rightClickOpensMenu ({ 40.0f, 40.0f }));
    EXPECT_FALSE (childAt (panel::aboutBoxIndex).isVisible());
    EXPECT_TRUE (childAt (panel::helpOverlayIndex).isVisible());
}
