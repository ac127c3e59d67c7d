#pragma once

#include <map>
#include <string>
#include <vector>

// A throwaway Wine prefix with the null graphics driver and a persistent
// wineserver, holding an installation of the x86_64 build.
class WinePrefix
{
public:
    // Sets up the prefix below `root`, copying the programs from `buildDir`.
    WinePrefix(const std::string& root, const std::string& buildDir);
    ~WinePrefix();

    // Runs a Wine program (or `wine` itself when `program` starts with a
    // Windows path) and returns its exit code; output goes to the prefix log.
    int Wine(const std::vector<std::string>& args,
             const std::map<std::string, std::string>& extraEnv = {}) const;

    // Unix path of a path below the prefix's C: drive, given as "C:\...".
    std::string UnixPath(const std::string& windowsPath) const;
    // Windows path ("Z:\...") of a Unix path.
    static std::string WindowsPath(const std::string& unixPath);

    const std::string& Root() const { return m_root; }

private:
    int Run(const std::vector<std::string>& args,
            const std::map<std::string, std::string>& extraEnv) const;

    std::string m_root;
    std::string m_prefix;
    std::string m_log;
};

// What one start of a program under the box watcher showed and returned.
struct BoxRun
{
    struct Box
    {
        std::string caption;
        std::string text;
        bool classic = false; // a MessageBox, not a task dialog
    };
    std::vector<Box> boxes;
    int exitCode = 0;
    bool timedOut = false;
};

// Runs `commandLine` through the box watcher in `prefix`.
BoxRun RunWatched(const WinePrefix& prefix, const std::string& commandLine,
                  const std::map<std::string, std::string>& extraEnv = {});
