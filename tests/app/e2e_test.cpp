// The stand-alone application as a user runs it: its own Xvfb display, JACK's dummy back end, a
// temporary home folder with a settings file, and a JACK client of ours that plays an impulse into
// the application and records what comes out. Quitting goes through the window's close path, and
// the state the application saved is read back from its settings file.

#include "PluginProcessor.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
    namespace fs = std::filesystem;
    using Clock = std::chrono::steady_clock;
    using namespace std::chrono_literals;

    //==============================================================================
    // What a listener should hear at the defaults, at 48000 Hz.

    constexpr double deviceRate = 48000.0;
    constexpr int periodFrames = 512;

    constexpr double smoothedUnityGain = 1.0000856;                 // where a gain smoother aimed at 1 settles
    constexpr double defaultSpeed = 0.65 * (64.0 / 127.0) + 0.35;   // motor target at the default Speed
    constexpr double wowDepth = 0.0075;                             // the wow moves the motor target by at most this
    constexpr double startSpeed = 0.5;                              // the motor starts here...
    constexpr double motorRiseSeconds = 3.6;                        // ...and closes 99 % of the gap in this time
    constexpr double tapeStepsPerSpeed = 5.0;                       // tape steps per sample at speed 1

    // Tape steps from the record head to each playback head; the splice zone is the positions above
    // 258720 of the loop's 264000.
    constexpr int headSteps[] = { 17137, 28716, 43537 };
    constexpr int spliceZoneSteps = 264000 - 258720 - 1;

    // The echo's peak trails the moment the tape brings the impulse to the head by the group delay of
    // the path it takes: the record smear (one sample records about 3.4 tape steps), the five-term
    // head mix, the head equaliser (two resonant low-passes) and the speed-tracking fourth-order
    // low-pass (about 4 samples at 4.9 kHz). Together they come to 7 or 8 samples at the defaults;
    // 16 bounds them.
    constexpr double filterLagSamples = 16.0;

    struct DelayWindow
    {
        double earliest, latest;
        bool contains (double delay) const noexcept { return delay >= earliest && delay <= latest; }
    };

    // The range of delays (in samples) at which head `head` (1..3) can sound once the motor has run
    // for `runSeconds`; the tape makes 5 steps per sample times the speed:
    // - wow: the motor follows targets within defaultSpeed +- wowDepth, so its speed stays inside that
    //   band, except for what is left of the rise from startSpeed: the initial value's weight decays at
    //   least as fast as 0.01^(t / 3.6 s).
    // - splice drag: while the erase head is in the splice zone every sub-step scales the accumulator
    //   (below 1) by 0.99, so the tape makes at least 0.99 v - 0.01 steps per sub-step instead of v;
    //   an echo whose flight includes the whole zone arrives that much later.
    DelayWindow echoWindow (int head, double runSeconds)
    {
        const double steps = headSteps[head - 1];
        const double riseLeft = (defaultSpeed - wowDepth - startSpeed) * std::pow (0.01, runSeconds / motorRiseSeconds);
        const double fastest = defaultSpeed + wowDepth;
        const double slowest = defaultSpeed - wowDepth - riseLeft;
        const double dragged = 0.99 * slowest - 0.01;
        const double spliceLag = spliceZoneSteps / tapeStepsPerSpeed * (1.0 / dragged - 1.0 / slowest);

        return { steps / (tapeStepsPerSpeed * fastest), steps / (tapeStepsPerSpeed * slowest) + spliceLag + filterLagSamples };
    }

    //==============================================================================
    std::string findProgram (const std::string& name)
    {
        if (name.find ('/') != std::string::npos)
            return ::access (name.c_str(), X_OK) == 0 ? name : std::string();

        std::stringstream path (std::getenv ("PATH") != nullptr ? std::getenv ("PATH") : "/usr/bin:/bin");

        for (std::string dir; std::getline (path, dir, ':');)
            if (! dir.empty() && ::access ((dir + "/" + name).c_str(), X_OK) == 0)
                return dir + "/" + name;

        return {};
    }

    std::string readFile (const fs::path& file)
    {
        std::ifstream in (file, std::ios::binary);
        return { std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>() };
    }

    std::string tailOf (const fs::path& file, size_t maxChars = 1500)
    {
        const auto text = readFile (file);
        return text.size() > maxChars ? "..." + text.substr (text.size() - maxChars) : text;
    }

    /** The test's environment with some variables replaced, for child processes. */
    class Environment
    {
    public:
        Environment()
        {
            for (char** entry = environ; *entry != nullptr; ++entry)
                entries.emplace_back (*entry);
        }

        Environment with (const std::string& name, const std::string& value) const
        {
            auto copy = *this;
            const auto prefix = name + "=";
            copy.entries.erase (std::remove_if (copy.entries.begin(), copy.entries.end(),
                                                [&] (const std::string& e) { return e.rfind (prefix, 0) == 0; }),
                                copy.entries.end());
            copy.entries.push_back (prefix + value);
            return copy;
        }

        std::vector<std::string> entries;
    };

    //==============================================================================
    /** A child process, with stdout and stderr in a log file. It dies with the test process (even
        when that is killed) and is stopped and reaped when this object goes.
    */
    class Child
    {
    public:
        Child (const std::vector<std::string>& args, const Environment& env, const fs::path& log, int fdForChild = -1,
               const fs::path& output = {})
            : logFile (log)
        {
            const auto program = findProgram (args.front());

            if (program.empty())
                throw std::runtime_error ("program not found: " + args.front());

            // Everything the child needs is built before fork, so that it only calls async-signal-safe functions.
            std::vector<char*> argv, envp;
            for (auto& a : args)
                argv.push_back (const_cast<char*> (a.c_str()));
            for (auto& e : env.entries)
                envp.push_back (const_cast<char*> (e.c_str()));
            argv.push_back (nullptr);
            envp.push_back (nullptr);
            const auto logPath = log.string();
            const auto outputPath = output.empty() ? logPath : output.string();
            const pid_t parent = ::getpid();

            pid = ::fork();

            if (pid < 0)
                throw std::runtime_error ("fork failed");

            if (pid == 0)
            {
                ::prctl (PR_SET_PDEATHSIG, SIGKILL);

                if (::getppid() != parent)
                    ::_exit (127);

                ::setpgid (0, 0);
                const int null = ::open ("/dev/null", O_RDONLY);
                const int err = ::open (logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
                const int out = ::open (outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
                ::dup2 (null, 0);
                ::dup2 (out, 1);
                ::dup2 (err, 2);

                if (fdForChild == 3)
                    ::fcntl (3, F_SETFD, 0);
                else if (fdForChild >= 0)
                    ::dup2 (fdForChild, 3);

                // Nothing else of ours (JACK's sockets among them) leaks into the child.
                for (int fd = fdForChild >= 0 ? 4 : 3; fd < 1024; ++fd)
                    ::close (fd);

                ::execve (program.c_str(), argv.data(), envp.data());
                ::_exit (127);
            }
        }

        ~Child() { stop(); }

        bool isRunning() { return pid > 0 && ! reap (WNOHANG); }

        /** The exit status, or nothing if the child is still running after the timeout. */
        std::optional<int> waitForExit (Clock::duration timeout)
        {
            const auto deadline = Clock::now() + timeout;

            while (isRunning())
            {
                if (Clock::now() > deadline)
                    return std::nullopt;

                std::this_thread::sleep_for (20ms);
            }

            return status;
        }

        void stop()
        {
            if (! isRunning())
                return;

            ::kill (pid, SIGTERM);

            if (! waitForExit (3s))
            {
                ::kill (pid, SIGKILL);
                reap (0);
            }
        }

        const fs::path logFile;

    private:
        bool reap (int options)
        {
            int rawStatus = 0;

            if (::waitpid (pid, &rawStatus, options) != pid)
                return false;

            status = WIFEXITED (rawStatus) ? WEXITSTATUS (rawStatus) : 128 + WTERMSIG (rawStatus);
            pid = -1;
            return true;
        }

        pid_t pid = -1;
        int status = -1;
    };

    /** Runs a short command to its end and returns its output, or nothing if it failed or hung. */
    std::optional<std::string> runCommand (const std::vector<std::string>& args, const Environment& env, const fs::path& scratch,
                                           Clock::duration timeout = 10s)
    {
        fs::remove (scratch);
        Child child (args, env, scratch.string() + ".log", -1, scratch);
        const auto status = child.waitForExit (timeout);

        if (status != 0)
            return std::nullopt;

        return readFile (scratch);
    }

    /** Polls a condition until it holds or the timeout passes. */
    template <typename Condition>
    bool waitUntil (Clock::duration timeout, Condition&& condition)
    {
        const auto deadline = Clock::now() + timeout;

        for (;;)
        {
            if (condition())
                return true;

            if (Clock::now() > deadline)
                return false;

            std::this_thread::sleep_for (25ms);
        }
    }

    //==============================================================================
    /** Both outputs of the application around one impulse, and where the impulse entered. */
    struct Take
    {
        static constexpr int preRoll = 2048;         // frames recorded before the impulse
        static constexpr int afterImpulse = 16384;   // frames recorded from the impulse on
        static constexpr int length = preRoll + afterImpulse;

        std::vector<float> left, right;
        int xruns = 0;
    };

    /** Our JACK client: two outputs that feed the application's inputs and two inputs that record
        its outputs. The process callback plays one impulse on request and records around it.
    */
    class JackProbe
    {
    public:
        static constexpr const char* clientName = "e2e_probe";

        explicit JackProbe (const std::string& serverName)
        {
            recorded[0].resize (Take::length);
            recorded[1].resize (Take::length);

            jack_set_error_function ([] (const char*) {});   // "cannot connect" while the server starts
            jack_set_info_function ([] (const char*) {});

            jack_status_t status {};
            client = jack_client_open (clientName, (jack_options_t) (JackNoStartServer | JackServerName), &status, serverName.c_str());

            if (client == nullptr)
                return;

            toApp[0] = jack_port_register (client, "to_in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
            toApp[1] = jack_port_register (client, "to_in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
            fromApp[0] = jack_port_register (client, "from_out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
            fromApp[1] = jack_port_register (client, "from_out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
            jack_set_process_callback (client, processCallback, this);
            jack_set_xrun_callback (client, xrunCallback, this);
            active = jack_activate (client) == 0;
        }

        ~JackProbe()
        {
            if (client != nullptr)
                jack_client_close (client);
        }

        bool isReady() const noexcept { return client != nullptr && active; }

        int getSampleRate() const { return (int) jack_get_sample_rate (client); }
        int getPeriod() const { return (int) jack_get_buffer_size (client); }

        /** True when the port exists and is connected to `other`. */
        bool isConnected (const std::string& port, const std::string& other) const
        {
            const auto* p = jack_port_by_name (client, port.c_str());
            return p != nullptr && jack_port_connected_to (p, other.c_str());
        }

        bool connectTo (const std::string& app)
        {
            bool ok = true;

            for (int ch = 0; ch < 2; ++ch)
            {
                const auto n = std::to_string (ch + 1);
                ok = ok && jack_connect (client, jack_port_name (toApp[ch]), (app + ":in_" + n).c_str()) == 0;
                ok = ok && jack_connect (client, (app + ":out_" + n).c_str(), jack_port_name (fromApp[ch])) == 0;
            }

            return ok;
        }

        /** Plays one sample of leftLevel and rightLevel and records both returns around it. */
        std::optional<Take> playImpulse (float leftLevel, float rightLevel, Clock::duration timeout)
        {
            impulse[0] = leftLevel;
            impulse[1] = rightLevel;
            framesDone = 0;
            xruns = 0;
            phase = recording;

            if (! waitUntil (timeout, [this] { return phase.load() == finished; }))
            {
                phase = idle;
                return std::nullopt;
            }

            Take take;
            take.left = recorded[0];
            take.right = recorded[1];
            take.xruns = xruns;
            phase = idle;
            return take;
        }

    private:
        enum Phase
        {
            idle,
            recording,
            finished
        };

        static int processCallback (jack_nframes_t numFrames, void* arg)
        {
            static_cast<JackProbe*> (arg)->process ((int) numFrames);
            return 0;
        }

        static int xrunCallback (void* arg)
        {
            ++static_cast<JackProbe*> (arg)->xruns;
            return 0;
        }

        void process (int numFrames) noexcept
        {
            float* out[2];
            const float* in[2];

            for (int ch = 0; ch < 2; ++ch)
            {
                out[ch] = static_cast<float*> (jack_port_get_buffer (toApp[ch], (jack_nframes_t) numFrames));
                in[ch] = static_cast<const float*> (jack_port_get_buffer (fromApp[ch], (jack_nframes_t) numFrames));
                std::fill (out[ch], out[ch] + numFrames, 0.0f);
            }

            if (phase.load() != recording)
                return;

            const int start = framesDone.load();

            for (int i = 0; i < numFrames && start + i < Take::length; ++i)
            {
                for (int ch = 0; ch < 2; ++ch)
                {
                    if (start + i == Take::preRoll)
                        out[ch][i] = impulse[ch];

                    recorded[ch][(size_t) (start + i)] = in[ch][i];
                }
            }

            framesDone = std::min (start + numFrames, Take::length);

            if (framesDone.load() == Take::length)
                phase = finished;
        }

        jack_client_t* client = nullptr;
        bool active = false;
        jack_port_t* toApp[2] {};
        jack_port_t* fromApp[2] {};
        float impulse[2] {};
        std::vector<float> recorded[2];
        std::atomic<int> phase { idle };
        std::atomic<int> framesDone { 0 };
        std::atomic<int> xruns { 0 };
    };

    //==============================================================================
    /** What the listener hears in a take. */
    struct Heard
    {
        int latency = -1;   // frames from our impulse to the dry impulse at the outputs
        float dryLeft = 0, dryRight = 0;
        double dryGain = 0;   // from the difference of the two outputs, where the echo cancels
        int mismatches = 0;   // samples, other than the dry one, where the two outputs differ
        float floor = 0;      // loudest sample before the dry impulse
        int echoDelay = -1;   // from the dry impulse to the loudest sample after it
        float echoPeak = 0;
    };

    Heard listen (const Take& take, float leftLevel, float rightLevel)
    {
        Heard heard;
        const int n = (int) take.left.size();
        int dry = -1;

        for (int i = 0; i < n; ++i)
        {
            if (take.left[(size_t) i] == take.right[(size_t) i])
                continue;

            if (dry < 0 && std::abs (take.left[(size_t) i] - take.right[(size_t) i]) > 0.5f * (leftLevel - rightLevel))
                dry = i;
            else
                ++heard.mismatches;
        }

        if (dry < 0)
            return heard;

        heard.latency = dry - Take::preRoll;
        heard.dryLeft = take.left[(size_t) dry];
        heard.dryRight = take.right[(size_t) dry];
        heard.dryGain = ((double) heard.dryLeft - (double) heard.dryRight) / ((double) leftLevel - (double) rightLevel);

        for (int i = 0; i < dry; ++i)
            heard.floor = std::max (heard.floor, std::abs (take.left[(size_t) i]));

        for (int i = dry + 1; i < n; ++i)
        {
            if (std::abs (take.left[(size_t) i]) > heard.echoPeak)
            {
                heard.echoPeak = std::abs (take.left[(size_t) i]);
                heard.echoDelay = i - dry;
            }
        }

        return heard;
    }

    /** The loudest sample of the output within a window of delays after the dry impulse. */
    float loudestWithin (const Take& take, const Heard& heard, DelayWindow window)
    {
        const int dry = Take::preRoll + heard.latency;
        const int from = std::max (dry + 1, dry + (int) std::floor (window.earliest));
        const int to = std::min ((int) take.left.size() - 1, dry + (int) std::ceil (window.latest));
        float loudest = 0;

        for (int i = from; i <= to; ++i)
            loudest = std::max (loudest, std::abs (take.left[(size_t) i]));

        return loudest;
    }

    //==============================================================================
    // As text, so that a failure shows the XML.
    std::string bytesOf (const juce::MemoryBlock& block)
    {
        return { static_cast<const char*> (block.getData()), block.getSize() };
    }

    juce::MemoryBlock defaultState()
    {
        SpoolwarpAudioProcessor processor;
        juce::MemoryBlock block;
        processor.getStateInformation (block);
        return block;
    }

    juce::MemoryBlock head1InsteadOfHead3State()
    {
        SpoolwarpAudioProcessor processor;
        processor.params[SpoolwarpAudioProcessor::getIntParamIdFromTextId ("btn_hd1")]->setValue (1.0f);
        processor.params[SpoolwarpAudioProcessor::getIntParamIdFromTextId ("btn_hd3")]->setValue (0.0f);
        juce::MemoryBlock block;
        processor.getStateInformation (block);
        return block;
    }

    // Head 1 on and Head 3 off, cut off after those elements as a half-written file would be:
    // the document is not well-formed, so none of it may be applied.
    juce::MemoryBlock truncatedState()
    {
        const auto whole = head1InsteadOfHead3State();
        const auto text = std::string (static_cast<const char*> (whole.getData()), whole.getSize());
        const auto cut = text.find ("<PARAM ID=\"btn_tnd\"");
        return { whole.getData(), cut };
    }

    enum class StateKind
    {
        none,
        defaults,
        head1InsteadOfHead3,
        truncated
    };

    juce::MemoryBlock stateOf (StateKind kind)
    {
        switch (kind)
        {
            case StateKind::defaults: return defaultState();
            case StateKind::head1InsteadOfHead3: return head1InsteadOfHead3State();
            case StateKind::truncated: return truncatedState();
            case StateKind::none: break;
        }

        return {};
    }

    constexpr int windowX = 120, windowY = 90;

    /** A settings file that selects JACK's "system" device at 48000 Hz, two in and two out, input
        unmuted, with the window at windowX, windowY and the given `filterState`, if any.
    */
    void writeSettings (const fs::path& file, const std::optional<juce::String>& filterState)
    {
        juce::XmlElement properties ("PROPERTIES");

        auto* audioSetup = properties.createNewChildElement ("VALUE");
        audioSetup->setAttribute ("name", "audioSetup");
        auto* device = audioSetup->createNewChildElement ("DEVICESETUP");
        device->setAttribute ("deviceType", "JACK");
        device->setAttribute ("audioOutputDeviceName", "system");
        device->setAttribute ("audioInputDeviceName", "system");
        device->setAttribute ("audioDeviceRate", deviceRate);
        device->setAttribute ("audioDeviceInChans", "11");
        device->setAttribute ("audioDeviceOutChans", "11");

        const std::pair<const char*, juce::String> values[] { { "shouldMuteInput", "0" },
                                                              { "windowX", juce::String (windowX) },
                                                              { "windowY", juce::String (windowY) } };

        for (const auto& [name, text] : values)
        {
            auto* value = properties.createNewChildElement ("VALUE");
            value->setAttribute ("name", name);
            value->setAttribute ("val", text);
        }

        if (filterState.has_value())
        {
            auto* value = properties.createNewChildElement ("VALUE");
            value->setAttribute ("name", "filterState");
            value->setAttribute ("val", *filterState);
        }

        fs::create_directories (file.parent_path());
        properties.writeTo (juce::File (file.string()));
    }

    /** The element of one key of a settings file, or nothing. */
    std::unique_ptr<juce::XmlElement> setting (const fs::path& file, const juce::String& name)
    {
        const auto xml = juce::XmlDocument::parse (juce::File (file.string()));

        if (xml != nullptr)
            for (const auto* value : xml->getChildWithTagNameIterator ("VALUE"))
                if (value->getStringAttribute ("name") == name)
                    return std::make_unique<juce::XmlElement> (*value);

        return nullptr;
    }

    /** The decoded `filterState` of a settings file, or nothing if the file or the key is missing. */
    std::optional<juce::MemoryBlock> savedState (const fs::path& file)
    {
        const auto value = setting (file, "filterState");
        juce::MemoryBlock block;

        if (value == nullptr || ! block.fromBase64Encoding (value->getStringAttribute ("val")))
            return std::nullopt;

        return block;
    }

    //==============================================================================
    struct StartCase
    {
        const char* name;
        StateKind givenState;   // the filterState the settings file holds at start
        int echoHead;           // the one head the listener should hear
        StateKind savedState;   // what the application must save on quitting
    };

    void PrintTo (const StartCase& run, std::ostream* os)
    {
        *os << run.name;
    }

    const StartCase startCases[] = {
        { "NoSavedState", StateKind::none, 3, StateKind::defaults },
        { "Head1InsteadOfHead3", StateKind::head1InsteadOfHead3, 1, StateKind::head1InsteadOfHead3 },
        { "TruncatedSavedState", StateKind::truncated, 3, StateKind::defaults },
    };

    constexpr float leftImpulse = 0.5f;
    constexpr float rightImpulse = 0.25f;
    constexpr auto motorSettling = 5s;       // from the ports' connection; the motor rises for 3.6 s
    constexpr auto echoesDieAway = 1500ms;   // more than five round trips of the longest echo

    //==============================================================================
    /** A private display and a temporary home for the application. */
    class ApplicationOnDisplay : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            auto pattern = (fs::temp_directory_path() / "spoolwarp-e2e-XXXXXX").string();
            ASSERT_NE (::mkdtemp (pattern.data()), nullptr);
            work = pattern;
            home = work / "home";
            settingsFile = home / ".config" / "Spoolwarp.settings";
            fs::create_directories (home);

            startDisplay();
            ASSERT_FALSE (display.empty()) << "Xvfb gave no display number\n" << tailOf (work / "xvfb.log");

            serverName = "spoolwarp-e2e-" + std::to_string (::getpid());
            env = Environment()
                      .with ("HOME", home.string())
                      .with ("DISPLAY", display)
                      .with ("JACK_DEFAULT_SERVER", serverName)
                      .with ("JACK_NO_AUDIO_RESERVATION", "1");
        }

        void TearDown() override
        {
            app.reset();
            xvfb.reset();

            std::error_code ignored;
            fs::remove_all (work, ignored);
        }

        void startDisplay()
        {
            int fds[2];
            ASSERT_EQ (::pipe2 (fds, O_CLOEXEC), 0);

            xvfb = std::make_unique<Child> (std::vector<std::string> { "Xvfb", "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-screen",
                                                                       "0", "1280x1024x24" },
                                            Environment(), work / "xvfb.log", fds[1]);
            ::close (fds[1]);

            // Xvfb picks a free display and writes its number and a newline to fd 3 once it listens.
            std::string number;
            char c = 0;
            pollfd reader { fds[0], POLLIN, 0 };
            const auto deadline = Clock::now() + 10s;

            while (Clock::now() < deadline && ::poll (&reader, 1, 100) >= 0)
            {
                if (reader.revents == 0)
                    continue;

                if (::read (fds[0], &c, 1) != 1 || c == '\n')
                    break;

                number += c;
            }

            ::close (fds[0]);

            if (c == '\n' && ! number.empty())
                display = ":" + number;
        }

        std::string appLog() const { return "application log:\n" + tailOf (work / "app.log"); }

        void launchApplication()
        {
            app.reset();
            app = std::make_unique<Child> (std::vector<std::string> { SPOOLWARP_APP_PATH }, env, work / "app.log");
        }

        std::optional<std::string> topWindow()
        {
            const auto found = runCommand ({ "xdotool", "search", "--name", "^Spoolwarp$" }, env, work / "xdotool.out");
            return found.has_value() && ! found->empty() ? std::optional<std::string> (found->substr (0, found->find ('\n')))
                                                         : std::nullopt;
        }

        /** True once the window holds the panel: the OpenGL-rendered editor is its one child window. */
        bool showsPanel()
        {
            const auto window = topWindow();

            if (! window.has_value())
                return false;

            const auto tree = runCommand ({ "xwininfo", "-children", "-id", *window }, env, work / "xwininfo.out");
            return tree.has_value() && tree->find ("1 child:") != std::string::npos;
        }

        /** Closes the window as a user does (alt+F4 on the focused window) and waits for the exit.
            A key sent while the application is still starting can go unseen, as it would for a user
            who then presses it again.
        */
        void quitApplication()
        {
            std::optional<std::string> window;
            ASSERT_TRUE (waitUntil (20s, [&] { return (window = topWindow()).has_value() || ! app->isRunning(); }) && window)
                << "the application's window did not appear\n"
                << appLog();

            std::optional<int> status;

            // Once the window has gone the application is shutting down, and the key cannot be sent.
            for (int attempt = 0; attempt < 4 && ! status.has_value(); ++attempt)
            {
                if (runCommand ({ "xdotool", "windowfocus", "--sync", *window }, env, work / "xdotool.out"))
                    runCommand ({ "xdotool", "key", "--window", *window, "alt+F4" }, env, work / "xdotool.out");

                status = app->waitForExit (5s);
            }

            ASSERT_TRUE (status.has_value()) << "the application did not quit after alt+F4\n" << appLog();
            EXPECT_EQ (*status, 0) << "the application did not exit cleanly\n" << appLog();
        }

        fs::path work, home, settingsFile;
        std::string display, serverName;
        Environment env;
        std::unique_ptr<Child> xvfb, app;
    };

    //==============================================================================
    /** The application on its display with a private JACK server and our JACK client. */
    class ApplicationWithJack : public ApplicationOnDisplay
    {
    protected:
        void SetUp() override
        {
            ASSERT_NO_FATAL_FAILURE (ApplicationOnDisplay::SetUp());

            jackd = std::make_unique<Child> (std::vector<std::string> { "jackd", "-r", "-d", "dummy", "-r", "48000", "-p", "512" }, env,
                                             work / "jackd.log");

            ASSERT_TRUE (waitUntil (10s,
                                    [this]
                                    {
                probe = std::make_unique<JackProbe> (serverName);
                return probe->isReady() || ! jackd->isRunning();
                         })
                         && probe->isReady())
                << "could not reach the JACK server\n"
                << tailOf (jackd->logFile);

            ASSERT_EQ (probe->getSampleRate(), (int) deviceRate);
            ASSERT_EQ (probe->getPeriod(), periodFrames);
        }

        void TearDown() override
        {
            app.reset();
            probe.reset();
            jackd.reset();
            ApplicationOnDisplay::TearDown();
        }

        /** Starts the application and waits until its JACK ports satisfy the condition. */
        template <typename Condition>
        void startApplication (Condition&& portsAreReady)
        {
            // On a loaded machine the framework's first JACK client can time out ("Cannot open
            // JuceJackDummy client"), and the application then runs without audio. That is the
            // machine, not the product: start it again, a few times at most.
            bool running = false;

            for (int attempt = 0; attempt < 3 && ! running; ++attempt)
            {
                launchApplication();

                running = waitUntil (15s, [&] { return ! app->isRunning() || portsAreReady(); }) && app->isRunning();
            }

            ASSERT_TRUE (running) << "the application's JACK ports did not appear as expected\n" << appLog();

            // The device starts (and the engine with it) as soon as the ports are connected.
            enginesStart = Clock::now();
            ASSERT_TRUE (probe->connectTo ("Spoolwarp")) << "could not connect to the application's ports";
        }

        bool portsAreConnected() const
        {
            return probe->isConnected ("Spoolwarp:in_1", "system:capture_1") && probe->isConnected ("Spoolwarp:in_2", "system:capture_2")
                   && probe->isConnected ("Spoolwarp:out_1", "system:playback_1")
                   && probe->isConnected ("Spoolwarp:out_2", "system:playback_2");
        }

        std::unique_ptr<Child> jackd;
        std::unique_ptr<JackProbe> probe;
        Clock::time_point enginesStart;
    };

    class ApplicationRun : public ApplicationWithJack, public ::testing::WithParamInterface<StartCase>
    {
    };

    TEST_P (ApplicationRun, EchoesTheEnabledHeadAndSavesItsState)
    {
        const auto& run = GetParam();
        writeSettings (settingsFile, run.givenState == StateKind::none
                                         ? std::nullopt
                                         : std::optional<juce::String> (stateOf (run.givenState).toBase64Encoding()));

        ASSERT_NO_FATAL_FAILURE (startApplication ([this] { return portsAreConnected(); }));
        std::this_thread::sleep_until (enginesStart + motorSettling);

        // A take during which JACK reported an xrun may have lost a period on one side; take another
        // once the echoes of the last impulse have died away.
        std::optional<Take> take;
        double runSeconds = 0;

        for (int attempt = 0; attempt < 3 && (! take.has_value() || take->xruns > 0); ++attempt)
        {
            if (attempt > 0)
                std::this_thread::sleep_for (echoesDieAway);

            runSeconds = std::chrono::duration<double> (Clock::now() - enginesStart).count();
            take = probe->playImpulse (leftImpulse, rightImpulse, 10s);
            ASSERT_TRUE (take.has_value()) << "the recording did not complete";
        }

        ASSERT_NO_FATAL_FAILURE (quitApplication());

        // The dry impulse, on its own channel, at the input gains.
        const auto heard = listen (*take, leftImpulse, rightImpulse);
        ASSERT_GE (heard.latency, 0) << "no dry impulse came back (xruns: " << take->xruns << ")\n" << appLog();
        EXPECT_LE (heard.latency, 4 * periodFrames);
        EXPECT_NEAR (heard.dryGain, smoothedUnityGain, 1.0e-6);
        EXPECT_EQ (heard.mismatches, 0) << "the echo must be the same on both outputs";

        const float dryTolerance = 2.0f * heard.floor + 1.0e-6f;
        EXPECT_NEAR (heard.dryLeft, leftImpulse * smoothedUnityGain, dryTolerance);
        EXPECT_NEAR (heard.dryRight, rightImpulse * smoothedUnityGain, dryTolerance);

        // The echo: the loudest thing after the dry impulse, at the enabled head's delay; the other
        // heads are silent.
        const auto window = echoWindow (run.echoHead, runSeconds);
        std::cout << std::setprecision (8) << run.name << ": latency " << heard.latency << ", dry gain " << heard.dryGain << ", floor "
                  << heard.floor << ", echo " << heard.echoPeak << " after " << heard.echoDelay << " samples (head " << run.echoHead << ": "
                  << window.earliest << " to " << window.latest << "), xruns " << take->xruns << std::endl;

        EXPECT_TRUE (window.contains (heard.echoDelay))
            << "the loudest echo came " << heard.echoDelay << " samples after the dry impulse; head " << run.echoHead << " sounds between "
            << window.earliest << " and " << window.latest;
        EXPECT_GT (heard.echoPeak, 10.0f * heard.floor);

        for (int head = 1; head <= 3; ++head)
        {
            if (head != run.echoHead)
            {
                EXPECT_LT (loudestWithin (*take, heard, echoWindow (head, runSeconds)), 0.1f * heard.echoPeak)
                    << "head " << head << " is heard, but it should be off";
            }
        }

        // The state saved on quitting.
        const auto saved = savedState (settingsFile);
        ASSERT_TRUE (saved.has_value()) << "no filterState in the settings file:\n" << readFile (settingsFile);
        const auto expected = stateOf (run.savedState);
        EXPECT_EQ (bytesOf (*saved), bytesOf (expected));

        if (run.savedState == StateKind::defaults)
        {
            EXPECT_EQ (saved->getSize(), 856u);
        }
    }

    INSTANTIATE_TEST_SUITE_P (StartedWith, ApplicationRun, ::testing::ValuesIn (startCases),
                              [] (const auto& testInfo) { return std::string (testInfo.param.name); });

    //==============================================================================
    TEST_F (ApplicationWithJack, FirstStartOpensOneInputAndOneOutputWithTheInputMuted)
    {
        ASSERT_FALSE (fs::exists (settingsFile));

        ASSERT_NO_FATAL_FAILURE (startApplication (
            [this] {
            return probe->isConnected ("Spoolwarp:in_1", "system:capture_1") && probe->isConnected ("Spoolwarp:out_1", "system:playback_1");
        }));

        EXPECT_FALSE (probe->isConnected ("Spoolwarp:in_2", "system:capture_2"));
        EXPECT_FALSE (probe->isConnected ("Spoolwarp:out_2", "system:playback_2"));

        // Muted: the impulse does not come back, only the engine's own faint hum and hiss.
        std::this_thread::sleep_for (1s);
        const auto take = probe->playImpulse (leftImpulse, rightImpulse, 10s);
        ASSERT_TRUE (take.has_value()) << "the recording did not complete";
        const auto loudest = *std::max_element (take->left.begin(), take->left.end(),
                                                [] (float a, float b) { return std::abs (a) < std::abs (b); });
        EXPECT_LT (std::abs (loudest), 0.01f);

        ASSERT_NO_FATAL_FAILURE (quitApplication());
        const auto mute = setting (settingsFile, "shouldMuteInput");
        ASSERT_NE (mute, nullptr);
        EXPECT_EQ (mute->getStringAttribute ("val"), "1");
    }

    //==============================================================================
    struct MalformedStateCase
    {
        const char* name;
        juce::String filterState;
    };

    void PrintTo (const MalformedStateCase& c, std::ostream* os)
    {
        *os << c.name;
    }

    // The default state's text with one character outside the framework's base-64 alphabet.
    juce::String withForeignCharacter()
    {
        auto text = defaultState().toBase64Encoding();
        return text.replaceSection (text.indexOfChar ('.') + 20, 1, "*");
    }

    std::vector<MalformedStateCase> malformedStates()
    {
        return { { "NegativeSize", "-1.AAAA" },
                 { "SizeFarLargerThanTheData", "2000000000.AAAA" },
                 { "SizeBeyond32Bits", "4294967353.AAAA" },
                 { "ForeignCharacters", withForeignCharacter() },
                 { "NoDot", "VMjLg7z" },
                 { "Empty", "" } };
    }

    class MalformedSavedState : public ApplicationOnDisplay, public ::testing::WithParamInterface<MalformedStateCase>
    {
    };

    TEST_P (MalformedSavedState, StartsWithTheDefaultsKeepsTheOtherSettingsAndSavesASoundState)
    {
        writeSettings (settingsFile, GetParam().filterState);
        const auto audioSetup = setting (settingsFile, "audioSetup");

        launchApplication();
        ASSERT_TRUE (waitUntil (30s, [this] { return ! app->isRunning() || showsPanel(); }) && app->isRunning())
            << "the panel did not appear\n"
            << appLog();
        ASSERT_NO_FATAL_FAILURE (quitApplication());

        const auto saved = savedState (settingsFile);
        ASSERT_TRUE (saved.has_value()) << "no sound filterState in the settings file:\n" << readFile (settingsFile);
        EXPECT_EQ (bytesOf (*saved), bytesOf (defaultState()));

        const std::pair<const char*, juce::String> kept[] { { "shouldMuteInput", "0" },
                                                            { "windowX", juce::String (windowX) },
                                                            { "windowY", juce::String (windowY) } };

        for (const auto& [name, text] : kept)
        {
            const auto value = setting (settingsFile, name);
            ASSERT_NE (value, nullptr) << name;
            EXPECT_EQ (value->getStringAttribute ("val"), text) << name;
        }

        const auto audioSetupAfter = setting (settingsFile, "audioSetup");
        ASSERT_NE (audioSetupAfter, nullptr);
        EXPECT_TRUE (audioSetupAfter->isEquivalentTo (audioSetup.get(), false)) << audioSetupAfter->toString().toStdString();
    }

    INSTANTIATE_TEST_SUITE_P (FilterState, MalformedSavedState, ::testing::ValuesIn (malformedStates()),
                              [] (const auto& testInfo) { return std::string (testInfo.param.name); });
}
