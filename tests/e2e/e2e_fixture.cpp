#include "e2e_fixture.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace
{

std::map<std::string, std::unique_ptr<WinePrefix>>& Prefixes()
{
    static std::map<std::string, std::unique_ptr<WinePrefix>> prefixes;
    return prefixes;
}

} // namespace

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Eventually(const std::function<bool()>& holds, int waitMs, int stepMs)
{
    for (int waited = 0; !holds(); waited += stepMs)
    {
        if (waited >= waitMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return true;
}

void WineEnvironment::TearDown()
{
    for (auto& [name, prefix] : Prefixes())
    {
        // A prefix whose set-up failed was never made.
        if (!prefix)
            continue;
        const std::string root = prefix->Root();
        prefix.reset();
        fs::remove_all(root);
    }
    Prefixes().clear();
}

const WinePrefix& WineEnvironment::For(const WindowsBuild& build)
{
    std::unique_ptr<WinePrefix>& prefix = Prefixes()[build.name];
    if (!prefix)
    {
        char pattern[] = "/tmp/tvdds-e2e-XXXXXX";
        prefix.reset(new WinePrefix(mkdtemp(pattern), build));
    }
    return *prefix;
}

void EndToEnd::SetUp()
{
    m_record =
        fs::temp_directory_path().string() + "/tvdds-client-" + std::to_string(getpid()) + ".txt";
    if (!CanRun(CurrentBuild()))
        GTEST_SKIP() << "this machine cannot execute 32-bit code";
    m_prefix = &WineEnvironment::For(CurrentBuild());
    Prefix().Reg({"delete", "HKLM\\SOFTWARE\\Halvorin", "/f"});
    fs::remove(Prefix().UnixPath(kIni));
    for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kAppDir)))
        if (entry.path().extension() == ".bak")
            fs::remove(entry.path());
    fs::remove(m_record);
    fs::remove(m_record + ".release");
}

void EndToEnd::TearDown()
{
    if (m_prefix)
        ReleaseClient();
}

void EndToEnd::ReleaseClient()
{
    std::ofstream(m_record + ".release").close();
    Eventually(
        [&]
        { return !fs::exists(m_record) || ReadAll(m_record).find("exited") != std::string::npos; },
        5000);
    fs::remove(m_record);
    fs::remove(m_record + ".release");
}

void EndToEnd::SetValue(const std::string& name, const std::string& value)
{
    ASSERT_EQ(0, Prefix().Reg({"add", kKey, "/v", name, "/d", value, "/f"}));
}

void EndToEnd::Install()
{
    SetValue("BaseAppPath", kAppDir);
    SetValue("BaseDataPath", "C:\\ProgramData\\Tivora");
    SetValue("VddsIniWritten", "1");
}

BoxRun EndToEnd::Run(const std::string& arguments, std::map<std::string, std::string> env)
{
    env["TVDDS_CLIENT_RECORD"] = WinePrefix::WindowsPath(m_record);
    return RunWatched(Prefix(), kTvdds + arguments, env);
}

std::string EndToEnd::ClientRecord(int waitMs)
{
    std::string record;
    const bool written = Eventually(
        [&]
        {
            record = ReadAll(m_record);
            return record.find('\n') != std::string::npos;
        },
        waitMs);
    return written ? record : std::string();
}

std::string EndToEnd::Probe(const std::string& what, const std::string& argument)
{
    const std::string out = Prefix().Root() + "/probe.txt";
    fs::remove(out);
    Prefix().Wine({"C:\\harness\\probe.exe", what, argument, WinePrefix::WindowsPath(out)});
    return ReadAll(out);
}

pid_t EndToEnd::StartProbe(const std::string& what, const std::string& argument,
                           const std::string& record)
{
    fs::remove(record);
    const pid_t probe =
        Prefix().Start({"C:\\harness\\probe.exe", what, argument, WinePrefix::WindowsPath(record)});
    Eventually([&] { return !ReadAll(record).empty(); }, 5000, 10);
    return probe;
}

std::string EndToEnd::RegValue(const std::string& name)
{
    return Probe(CurrentBuild().regView == "/reg:32" ? "reg32" : "reg64", name);
}

std::string BuildName(const ::testing::TestParamInfo<WindowsBuild>& info)
{
    return info.param.name;
}

void RegistrationFixture::SetUp()
{
    OnEachBuild::SetUp();
    if (IsSkipped())
        return;
    SetValue("BaseAppPath", kAppDir);
    SetValue("BaseDataPath", "C:\\ProgramData\\Tivora\\");
    fs::create_directories(Prefix().UnixPath("C:\\ProgramData\\Tivora\\conf"));
}

std::string RegistrationFixture::Ini()
{
    return ReadAll(Prefix().UnixPath(kIni));
}

void RegistrationFixture::WriteIni(const std::string& text)
{
    std::ofstream(Prefix().UnixPath(kIni), std::ios::binary) << text;
}

void RegistrationFixture::ForgetRegistration()
{
    Prefix().Reg({"delete", kKey, "/v", "VddsIniWritten", "/f"});
}

bool RegistrationFixture::EveryoneMayReadAndWrite(const std::string& path)
{
    const unsigned long readAndWrite = 0x12019f; // FILE_GENERIC_READ | FILE_GENERIC_WRITE
    std::stringstream acl(Probe("acl", path));
    for (std::string line; std::getline(acl, line);)
    {
        std::stringstream fields(line);
        std::string ace, type, mask, sid;
        fields >> ace >> type >> mask >> sid;
        if (sid == "S-1-1-0" && type == "0" &&
            (std::stoul(mask, nullptr, 16) & readAndWrite) == readAndWrite)
            return true;
    }
    return false;
}

void RegistrationFixture::ExpectOnlyRefusal(const BoxRun& run, int exitCode,
                                            const std::string& reason)
{
    EXPECT_EQ(exitCode, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Tvdds Error", run.boxes[0].caption);
    EXPECT_EQ("classic", run.boxes[0].kind) << ::testing::PrintToString(run.boxes[0].entries);
    EXPECT_EQ("Tivora was not registered in " + kIni + ": " + reason +
                  ". The file was left unchanged; the registration will be tried again at the "
                  "next start.",
              run.boxes[0].text);
}

std::vector<fs::path> RegistrationFixture::Backups()
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kAppDir)))
        if (entry.path().extension() == ".bak")
            found.push_back(entry.path());
    return found;
}

BoxRun InstallerFixture::InstallSilently(Station station, const std::string& log)
{
    const std::string logOption = log.empty() ? std::string() : " /LOG=" + log;
    return RunWatched(Prefix(), "C:\\harness\\setup.exe /S" + logOption + " /D=" + kSetupDir, {},
                      station);
}

std::string
InstallerFixture::InstallOverOtherVendors(const std::string& dir,
                                          const std::map<std::string, std::string>& environment)
{
    WriteIni(kOtherVendors);
    const BoxRun installed =
        RunWatched(Prefix(), "C:\\harness\\setup.exe /S /D=" + dir, environment);
    EXPECT_EQ(0, installed.exitCode) << dir;
    EXPECT_TRUE(installed.boxes.empty()) << dir;
    return Ini();
}

fs::path InstallerFixture::Installed(const std::string& relative) const
{
    return Prefix().UnixPath(kSetupDir + "\\" + relative);
}

std::string InstallerFixture::UninstallValue(const std::string& name)
{
    return Probe(CurrentBuild().regView == "/reg:32" ? "reg32" : "reg64",
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TivoraVdds|" + name);
}

namespace
{

// What is left of an installation directory but the backups of
// vdds_mmi.ini, which stay.
std::vector<fs::path> LeftOver(const fs::path& dir)
{
    std::vector<fs::path> left;
    if (fs::exists(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() != ".bak")
                left.push_back(entry.path());
    return left;
}

} // namespace

bool InstallerFixture::UninstallQuietly(const std::string& dir,
                                        const std::map<std::string, std::string>& environment)
{
    const std::string quiet = UninstallValue("QuietUninstallString");
    EXPECT_EQ("\"" + dir + "\\uninstall.exe\" /S _?=" + dir, quiet);
    const BoxRun run = RunWatched(Prefix(), quiet, environment);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    // The uninstaller goes once it has ended, and with it the directory
    // unless backups are left in it.
    const fs::path installed = Prefix().UnixPath(dir);
    Eventually([&] { return LeftOver(installed).empty(); }, 20000, 100);
    const std::vector<fs::path> left = LeftOver(installed);
    EXPECT_TRUE(left.empty()) << left.front() << " left behind";
    // No copy of the uninstaller stays in a temporary directory.
    std::vector<fs::path> temporary{Prefix().UnixPath("C:\\windows\\temp")};
    for (const auto& user : fs::directory_iterator(Prefix().UnixPath("C:\\users")))
        for (const fs::path& temp : {user.path() / "Temp", user.path() / "AppData/Local/Temp"})
            if (fs::exists(temp))
                temporary.push_back(temp);
    for (const fs::path& temp : temporary)
        for (const auto& entry :
             fs::recursive_directory_iterator(temp, fs::directory_options::skip_permission_denied))
            EXPECT_NE(".exe", entry.path().extension()) << entry.path() << " left behind";
    const bool pending =
        Prefix().Reg({"query", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", "/v",
                      "PendingFileRenameOperations"}) == 0;
    EXPECT_FALSE(pending) << "a file operation waits for a restart";
    return !run.timedOut && run.exitCode == 0 && run.boxes.empty() && left.empty() && !pending;
}

std::string InstallerFixture::ListAsReadersSeeIt()
{
    return Probe("list", kIni);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new WineEnvironment);
    return RUN_ALL_TESTS();
}
