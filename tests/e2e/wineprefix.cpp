#include "wineprefix.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace
{

std::vector<std::string> Environment(const std::map<std::string, std::string>& overrides)
{
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry; ++entry)
    {
        const std::string text(*entry);
        const size_t eq = text.find('=');
        if (eq != std::string::npos)
            env[text.substr(0, eq)] = text.substr(eq + 1);
    }
    for (const auto& [name, value] : overrides)
        env[name] = value;
    std::vector<std::string> list;
    for (const auto& [name, value] : env)
        list.push_back(name + "=" + value);
    return list;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');)
        fields.push_back(field);
    return fields;
}

// The event log texts in the Wine log after `start`. Wine's ReportEventW
// writes each text to its "eventlog" debug channel, in the class of its type,
// as a C string literal: `0123:err:eventlog:ReportEventW L"text"`. Line
// breaks stay written as \n, as the box watcher writes them.
std::vector<std::string> EventLogTexts(const std::string& log, uintmax_t start)
{
    const std::map<std::string, std::string> types{
        {"err", "error"}, {"warn", "warning"}, {"trace", "info"}};
    std::ifstream in(log, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(start));
    std::vector<std::string> texts;
    for (std::string line; std::getline(in, line);)
    {
        const size_t channel = line.find(":eventlog:ReportEventW L\"");
        const size_t classStart = line.rfind(':', channel - 1);
        if (channel == std::string::npos || classStart == std::string::npos || line.back() != '"')
            continue;
        const std::string type = line.substr(classStart + 1, channel - classStart - 1);
        const std::string quoted =
            line.substr(line.find('"', channel) + 1, line.size() - line.find('"', channel) - 2);
        std::string text;
        for (size_t i = 0; i < quoted.size(); ++i)
        {
            if (quoted[i] == '\\' && i + 1 < quoted.size() &&
                (quoted[i + 1] == '\\' || quoted[i + 1] == '"'))
                ++i;
            text += quoted[i];
        }
        texts.push_back((types.count(type) ? types.at(type) : type) + "\t" + text);
    }
    return texts;
}

} // namespace

std::vector<WindowsBuild> WindowsBuilds()
{
    return {{"win32", TVDDS_WIN32_DIR, "tvdds-setup.exe", "/reg:32"},
            {"win64", TVDDS_WIN64_DIR, "tvdds-setup-x64.exe", "/reg:64"}};
}

bool CanRun(const WindowsBuild& build)
{
    static const bool runs32 =
        std::system(TVDDS_SOURCE_DIR "/scripts/runs-32bit.sh --with-wine") == 0;
    return build.name != "win32" || runs32;
}

WinePrefix::WinePrefix(const std::string& root, const WindowsBuild& build)
    : m_root(root), m_prefix(root + "/prefix"), m_log(root + "/wine.log"), m_build(build)
{
    if (Run({"wineboot", "-i"}, {}) != 0)
        throw std::runtime_error("wineboot failed; see " + m_log);
    // The null driver runs GUI programs without a display.
    UseGraphicsDriver("null");

    const fs::path app = UnixPath("C:\\Program Files\\Tivora");
    const fs::path harness = UnixPath("C:\\harness");
    fs::create_directories(app);
    fs::create_directories(harness);
    fs::copy_file(build.dir + "/tvdds.exe", app / "tvdds.exe");
    fs::copy(build.dir + "/lang", app / "lang", fs::copy_options::recursive);
    fs::copy_file(build.dir + "/" + build.installer, harness / "setup.exe");
    const std::string helperDir = TVDDS_WIN64_DIR "/tests/wine";
    fs::copy_file(helperDir + "/tivoracl.exe", app / "tivoracl.exe");
    fs::copy_file(helperDir + "/boxrun.exe", harness / "boxrun.exe");
    fs::copy_file(helperDir + "/probe.exe", harness / "probe.exe");
    fs::copy_file(helperDir + "/readerrun.exe", harness / "readerrun.exe");
}

void WinePrefix::UseGraphicsDriver(const std::string& driver) const
{
    // The desktop process picks the driver up after a restart of the
    // wineserver.
    Wine({"reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", driver, "/f"});
    Run({"wineserver", "-k"}, {});
    Run({"wineserver", "-w"}, {});
    Run({"wineserver", "-p"}, {});
}

WinePrefix::~WinePrefix()
{
    Run({"wineserver", "-k"}, {});
}

int WinePrefix::Wine(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& extraEnv) const
{
    std::vector<std::string> command{"wine"};
    command.insert(command.end(), args.begin(), args.end());
    return Run(command, extraEnv);
}

int WinePrefix::Reg(std::vector<std::string> args) const
{
    args.insert(args.begin(), "reg");
    args.push_back(m_build.regView);
    return Wine(args);
}

int WinePrefix::Run(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& extraEnv) const
{
    const pid_t pid = Spawn(args, extraEnv);
    if (pid < 0)
        return -1000;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1001;
}

pid_t WinePrefix::Start(const std::vector<std::string>& args) const
{
    std::vector<std::string> command{"wine"};
    command.insert(command.end(), args.begin(), args.end());
    return Spawn(command, {});
}

pid_t WinePrefix::Spawn(const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& extraEnv) const
{
    std::map<std::string, std::string> env{
        {"WINEPREFIX", m_prefix}, {"WINEARCH", "win64"},
        {"WINEDEBUG", "-all"},    {"WINEDLLOVERRIDES", "mscoree,mshtml="},
        {"DISPLAY", ""},          {"LC_ALL", "C"},
    };
    for (const auto& [name, value] : extraEnv)
        env[name] = value;
    const std::vector<std::string> envList = Environment(env);

    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : envList)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    // Wine's daemons inherit and keep open whatever output they are given:
    // a log file, never the test runner's pipes.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, m_log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    return spawned == 0 ? pid : -1;
}

std::string WinePrefix::UnixPath(const std::string& windowsPath) const
{
    std::string rest = windowsPath.substr(2);
    for (char& ch : rest)
        if (ch == '\\')
            ch = '/';
    return m_prefix + "/drive_c" + rest;
}

std::string WinePrefix::WindowsPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& ch : path)
        if (ch == '/')
            ch = '\\';
    return path;
}

BoxRun RunWatched(const WinePrefix& prefix, const std::string& commandLine,
                  const std::map<std::string, std::string>& extraEnv, Station station,
                  Answer answer)
{
    const std::string job = prefix.Root() + "/job.txt";
    const std::string result = prefix.Root() + "/result.txt";
    std::ofstream(job, std::ios::binary) << commandLine << "\n";
    fs::remove(result);
    std::vector<std::string> args{"C:\\harness\\boxrun.exe", WinePrefix::WindowsPath(job),
                                  WinePrefix::WindowsPath(result)};
    std::map<std::string, std::string> env = extraEnv;
    if (answer == Answer::Cancel)
        args.push_back("cancel");
    if (station != Station::Visible)
    {
        args.push_back(station == Station::Hidden ? "hidden" : "private");
        // Wine's event log writes each text to its debug channel.
        env["WINEDEBUG"] = "-all,+eventlog";
    }
    const uintmax_t logStart = fs::exists(prefix.Log()) ? fs::file_size(prefix.Log()) : 0;
    prefix.Wine(args, env);

    BoxRun run;
    if (station != Station::Visible)
        run.events = EventLogTexts(prefix.Log(), logStart);
    run.timedOut = true;
    std::ifstream in(result, std::ios::binary);
    for (std::string line; std::getline(in, line);)
    {
        const std::vector<std::string> fields = Fields(line);
        if (fields.size() == 4 && fields[0] == "box")
            run.boxes.push_back({fields[1], fields[2], fields[3], {}});
        else if (fields.size() == 2 && fields[0] == "entry" && !run.boxes.empty())
            run.boxes.back().entries.push_back(fields[1]);
        else if (fields.size() == 2 && fields[0] == "exit")
        {
            run.exitCode = std::stoi(fields[1]);
            run.timedOut = false;
        }
    }
    return run;
}
