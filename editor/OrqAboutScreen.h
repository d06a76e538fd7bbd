#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

/** The about box: covers the panel with its own artwork and a text box with the title, credits,
    version and build date. It fades in on Show() and out again at any press on it.
*/
class OrqAboutScreen : public juce::Component
{
public:
    /** The maker's web site, without scheme: shown in the box and used by the panel's web links. */
    static constexpr const char* webSite = "www.spoolwarp.example";

    OrqAboutScreen();
    ~OrqAboutScreen() override;

    void mouseDown (const juce::MouseEvent& e) override;
    void paint (juce::Graphics& g) override;

    /** Refreshes the text, brings the box to the front and fades it in over 500 ms. */
    void Show();

    /** Run by a press in the 40 x 40 square at the bottom-right corner, before the box closes. */
    std::function<void()> onCornerClick;

private:
    std::unique_ptr<juce::Label> versionLabel;
    juce::Rectangle<int> textBoxBounds;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OrqAboutScreen)
};
