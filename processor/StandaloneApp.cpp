// The stand-alone application: the framework's own, except that it refuses a saved state in the
// settings file that the framework's plug-in holder could not read safely, before it reads it.

#include <juce_audio_plugin_client/juce_audio_plugin_client.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_audio_plugin_client/Standalone/juce_StandaloneFilterWindow.h>

#include "StateFormat.h"

namespace
{
    class SpoolwarpStandaloneApp : public juce::JUCEApplication
    {
    public:
        SpoolwarpStandaloneApp()
        {
            juce::PropertiesFile::Options options;
            options.applicationName = getApplicationName();
            options.filenameSuffix = ".settings";
            options.osxLibrarySubFolder = "Application Support";
#if JUCE_LINUX || JUCE_BSD
            options.folderName = "~/.config";
#endif
            appProperties.setStorageParameters (options);
        }

        const juce::String getApplicationName() override
        {
            return JucePlugin_Name;
        }
        const juce::String getApplicationVersion() override
        {
            return JucePlugin_VersionString;
        }
        bool moreThanOneInstanceAllowed() override
        {
            return true;
        }
        void anotherInstanceStarted (const juce::String&) override {}

        void initialise (const juce::String&) override
        {
            auto* settings = appProperties.getUserSettings();

            // An unreadable state becomes an empty one, so the processor starts from its defaults and
            // the next save writes a sound state; every other setting stays. (Removing the key would
            // not do: the framework's fallback settings come from the same file.)
            if (settings->containsKey (stateKey) && ! StateFormat::isMemoryBlockText (settings->getValue (stateKey)))
                settings->setValue (stateKey, juce::MemoryBlock().toBase64Encoding());

            juce::StandalonePluginHolder::PluginInOuts channels[] = { JucePlugin_PreferredChannelConfigurations };
            mainWindow = std::make_unique<
                juce::StandaloneFilterWindow> (getApplicationName(),
                                               juce::LookAndFeel::getDefaultLookAndFeel().findColour (
                                                   juce::ResizableWindow::backgroundColourId),
                                               settings, false, juce::String(), nullptr,
                                               juce::Array<juce::StandalonePluginHolder::PluginInOuts> (channels, juce::numElementsInArray (
                                                                                                                      channels)));
            mainWindow->setVisible (true);
        }

        void shutdown() override
        {
            mainWindow = nullptr;
            appProperties.saveIfNeeded();
        }

        void systemRequestedQuit() override
        {
            if (mainWindow != nullptr)
                mainWindow->pluginHolder->savePluginState();

            if (juce::ModalComponentManager::getInstance()->cancelAllModalComponents())
            {
                juce::Timer::callAfterDelay (100,
                                             []
                                             {
                    if (auto* app = juce::JUCEApplicationBase::getInstance())
                        app->systemRequestedQuit();
                });
            }
            else
            {
                quit();
            }
        }

    private:
        static constexpr const char* stateKey = "filterState";

        juce::ApplicationProperties appProperties;
        std::unique_ptr<juce::StandaloneFilterWindow> mainWindow;
    };
}

JUCE_CREATE_APPLICATION_DEFINE (SpoolwarpStandaloneApp)
