#include "vddsfixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "registration/registrationpass.h"

std::string CrLf(std::initializer_list<std::string> lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string Utf16Le(const std::string& latin1)
{
    std::string text;
    for (const char ch : latin1)
        text.append(1, ch).append(1, '\0');
    return text;
}

LogCapture::LogCapture()
    : m_previous(wxLog::SetActiveTarget(this)), m_wasEnabled(wxLog::EnableLogging(true))
{
}

LogCapture::~LogCapture()
{
    wxLog::EnableLogging(m_wasEnabled);
    wxLog::SetActiveTarget(m_previous);
}

void LogCapture::DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo&)
{
    if (level <= wxLOG_Warning)
        entries.push_back(msg.utf8_string());
}

VddsFixture::VddsFixture()
{
    setenv("TVDDS_REGISTRY_ROOT", (m_dir / "registry").c_str(), 1);
    setenv("TVDDS_WINDOWS_DIR", (m_dir / "windows").c_str(), 1);
    mkdir((m_dir / "windows").c_str(), 0755);
    mkdir((m_dir / "app").c_str(), 0755);
    mkdir((m_dir / "data").c_str(), 0755);
    mkdir((m_dir / "data/conf").c_str(), 0755);
}

VddsFixture::~VddsFixture()
{
    unsetenv("TVDDS_REGISTRY_ROOT");
    unsetenv("TVDDS_WINDOWS_DIR");
}

std::string VddsFixture::IniPath() const
{
    return m_dir / "windows/vdds_mmi.ini";
}
std::string VddsFixture::AppPath() const
{
    return m_dir / "app";
}

std::string VddsFixture::ProductSection(bool dsWin) const
{
    const std::string program = AppPath() + "/tvdds";
    if (dsWin)
        return CrLf({"[TIVORA]", "NAME=Tivora", "PATDATIMPORT=" + program, "PATDATIMPORT_OS=1",
                     "MMOINFEXPORT=" + program, "MMOINFEXPORT_OS=1", "MMOVIEW=" + program,
                     "MMOVIEW_OS=1", "SUPPORTTHUMBNAILS=0", "STAGES=12", "VERSION=1.2"});
    return CrLf({"[TIVORA]", "NAME=Tivora", "PATDATIMPORT=" + program, "PATDATIMPORT_OS=1",
                 "STAGES=1", "VERSION=1.2"});
}

void VddsFixture::RegisterOnce(bool dsWin)
{
    LogCapture log;
    CVddsRegistration(wxString::FromUTF8(AppPath()), wxString::FromUTF8(m_dir / "data/conf"), dsWin,
                      m_systemReader)
        .RegisterOnce();
    m_logged = log.entries;
}

void VddsFixture::RegisterOnceUnprivileged(bool dsWin)
{
    if (geteuid() != 0)
    {
        RegisterOnce(dsWin);
        return;
    }
    // The child runs as "nobody"; the registry store must stay writable.
    const std::string registry = m_dir / "registry";
    std::filesystem::create_directories(std::filesystem::path(FlagPath()).parent_path());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(registry))
        chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666);
    chmod(registry.c_str(), 0777);
    chmod(m_dir.Path().c_str(), 0777);
    chmod(AppPath().c_str(), 0777);

    const pid_t child = fork();
    if (child == 0)
    {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        RegisterOnce(dsWin);
        {
            std::ofstream log(m_dir / "child.log", std::ios::binary);
            for (const std::string& entry : m_logged)
                log << entry << "\n";
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "unprivileged run failed";
    m_logged.clear();
    std::stringstream log(ReadFile(m_dir / "child.log"));
    for (std::string entry; std::getline(log, entry);)
        m_logged.push_back(entry);
}

std::string VddsFixture::FlagPath() const
{
    return m_dir / "registry/HKEY_LOCAL_MACHINE/SOFTWARE/Halvorin/TivoraClient/VddsIniWritten";
}

std::string VddsFixture::Flag() const
{
    return ReadFile(FlagPath());
}

std::string VddsFixture::RegisterInto(const std::string& before, bool dsWin)
{
    std::remove(FlagPath().c_str());
    WriteFile(IniPath(), before);
    RegisterOnce(dsWin);
    return ReadFile(IniPath());
}

std::string VddsFixture::UnregisterFrom(const std::string& before, bool& removed)
{
    WriteFile(IniPath(), before);
    LogCapture log;
    removed = CVddsRegistration(wxString::FromUTF8(AppPath()), wxString(), false, m_systemReader)
                  .Unregister();
    m_logged = log.entries;
    return ReadFile(IniPath());
}
