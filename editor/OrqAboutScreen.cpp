#include "OrqAboutScreen.h"

#include "BinaryData.h"
#include "PanelLayout.h"

namespace
{
    constexpr int fadeMs = 500;
    constexpr int cornerSize = 40;

    juce::String composeText()
    {
        juce::String text;
        text << "\n"
             << "Orq Spoolwarp\n"
             << "For everyone who ever spliced a tape loop by hand\n"
             << "\n"
             << "Code: the Spoolwarp developers\n"
             << "GUI design: the Spoolwarp developers\n"
             << "Special thanks to: the Spoolwarp developers\n"
             << "\n"
             << OrqAboutScreen::webSite << "\n"
             << "Version: " << JucePlugin_VersionString << " - build date: " << juce::Time::getCompilationDate().toString (true, false)
             << " ";
        return text;
    }
}

OrqAboutScreen::OrqAboutScreen()
{
    setBounds (0, 0, PanelLayout::width, PanelLayout::height);
    textBoxBounds = { 220, 215, 439, 215 };

    versionLabel = std::make_unique<juce::Label> ("lblVersionInfo", "label text");
    addAndMakeVisible (*versionLabel);
    versionLabel->setBounds (textBoxBounds);
    versionLabel->setFont (juce::Font (18.0f, juce::Font::plain).withTypefaceStyle ("Regular"));
    versionLabel->setJustificationType (juce::Justification::centred);
    versionLabel->setEditable (false, false, false);
    versionLabel->setColour (juce::Label::textColourId, juce::Colour (0xffe0e0e0));
    versionLabel->addMouseListener (this, false);
}

OrqAboutScreen::~OrqAboutScreen() = default;

void OrqAboutScreen::Show()
{
    versionLabel->setText (composeText(), juce::dontSendNotification);
    toFront (true);
    juce::Desktop::getInstance().getAnimator().fadeIn (this, fadeMs);
}

void OrqAboutScreen::mouseDown (const juce::MouseEvent& e)
{
    const auto position = e.getEventRelativeTo (this).getPosition();
    const auto corner = getLocalBounds().removeFromRight (cornerSize).removeFromBottom (cornerSize);

    if (corner.contains (position) && onCornerClick != nullptr)
        onCornerClick();

    juce::Desktop::getInstance().getAnimator().fadeOut (this, fadeMs);
}

void OrqAboutScreen::paint (juce::Graphics& g)
{
    const auto background = juce::ImageCache::getFromMemory (BinaryData::about_png, BinaryData::about_pngSize);

    if (background.isValid())
        g.drawImageAt (background, 0, 0);

    g.setColour (juce::Colour (0xf0101010));
    g.fillRect (textBoxBounds);
}
