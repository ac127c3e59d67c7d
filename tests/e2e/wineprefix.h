#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

// One Windows build of the program under test and what runs it.
struct WindowsBuild
{
    std::string name;      // "win32" or "win64"
    std::string dir;       // its CMake build directory
    std::string installer; // file name of its installer in `dir`
    std::string regView;   // "/reg:32" or "/reg:64": the registry view it reads
};

// The shipped 32-bit build and the x86_64 build of the same sources.
std::vector<WindowsBuild> WindowsBuilds();

// The 32-bit build runs only where the kernel executes 32-bit code and 32-bit
// Wine is installed.
bool CanRun(const WindowsBuild& build);

// A throwaway Wine prefix with the null graphics driver and a persistent
// wineserver, holding an installation of one Windows build. The helper
// programs (box watcher, probe, stand-in client) come from the x86_64 build.
class WinePrefix
{
public:
    WinePrefix(const std::string& root, const WindowsBuild& build);
    ~WinePrefix();

    // Runs a Wine program (or `wine` itself when `program` starts with a
    // Windows path) and returns its exit code; output goes to the prefix log.
    int Wine(const std::vector<std::string>& args,
             const std::map<std::string, std::string>& extraEnv = {}) const;
    // Starts a Windows program under Wine without waiting for it; its process
    // id, or -1.
    pid_t Start(const std::vector<std::string>& args) const;
    // Runs "reg" with `args` in the registry view of the program under test.
    int Reg(std::vector<std::string> args) const;
    // Restarts the prefix's Wine on graphics driver `driver`; one that does
    // not exist leaves no driver, and no window can be created.
    void UseGraphicsDriver(const std::string& driver) const;

    // Unix path of a path below the prefix's C: drive, given as "C:\...".
    std::string UnixPath(const std::string& windowsPath) const;
    // Windows path ("Z:\...") of a Unix path.
    static std::string WindowsPath(const std::string& unixPath);

    const std::string& Root() const { return m_root; }
    // What the prefix's Wine programs print, debug channels included.
    const std::string& Log() const { return m_log; }
    const WindowsBuild& Build() const { return m_build; }

private:
    int Run(const std::vector<std::string>& args,
            const std::map<std::string, std::string>& extraEnv) const;
    pid_t Spawn(const std::vector<std::string>& args,
                const std::map<std::string, std::string>& extraEnv) const;

    std::string m_root;
    std::string m_prefix;
    std::string m_log;
    WindowsBuild m_build;
};

// What one start of a program under the box watcher showed and returned.
struct BoxRun
{
    struct Box
    {
        std::string caption;
        std::string text;
        // "classic" for a MessageBox, "list" for the log dialog, "other" for
        // another dialog, "window" for any other window.
        std::string kind;
        // The entries of the log dialog's list.
        std::vector<std::string> entries;
    };
    std::vector<Box> boxes;
    // The texts written to the event log, in order ("error", "warning" or
    // "info", a tab, the text), from runs on a hidden window station.
    std::vector<std::string> events;
    int exitCode = 0;
    bool timedOut = false;
};

// Where the watched program runs: on the visible desktop, on a window
// station of its own that nobody can see, as in session 0, or on a desktop
// of its own on the visible window station, which is never on screen.
enum class Station
{
    Visible,
    Hidden,
    PrivateDesktop,
};

// How the box watcher answers a dialog.
enum class Answer
{
    Ok,
    Cancel,
};

// Runs `commandLine` through the box watcher in `prefix`.
BoxRun RunWatched(const WinePrefix& prefix, const std::string& commandLine,
                  const std::map<std::string, std::string>& extraEnv = {},
                  Station station = Station::Visible, Answer answer = Answer::Ok);
