#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <tuple>

#include <wx/cmdline.h>

#include "wineprefix.h"

namespace fs = std::filesystem;

namespace
{

const std::string kAppDir = "C:\\Program Files\\Tivora";
const std::string kTvdds = "\"C:\\Program Files\\Tivora\\tvdds.exe\"";
const std::string kKey = "HKLM\\SOFTWARE\\Halvorin\\TivoraClient";
const std::string kRegistryError = "Registry error";
const std::string kNotStarted = "ERROR: Program can't be started!\\nRegistry entries are incorrect";

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One prefix per build for the whole run: Wine's first start takes many
// seconds.
class WineEnvironment : public ::testing::Environment
{
public:
    void TearDown() override
    {
        for (auto& [name, prefix] : s_prefixes)
        {
            const std::string root = prefix->Root();
            prefix.reset();
            fs::remove_all(root);
        }
        s_prefixes.clear();
    }

    static const WinePrefix& For(const WindowsBuild& build)
    {
        std::unique_ptr<WinePrefix>& prefix = s_prefixes[build.name];
        if (!prefix)
        {
            char pattern[] = "/tmp/tvdds-e2e-XXXXXX";
            prefix.reset(new WinePrefix(mkdtemp(pattern), build));
        }
        return *prefix;
    }

private:
    static std::map<std::string, std::unique_ptr<WinePrefix>> s_prefixes;
};

std::map<std::string, std::unique_ptr<WinePrefix>> WineEnvironment::s_prefixes;

// A test on one Windows build, in that build's prefix.
class EndToEnd : public ::testing::Test
{
protected:
    virtual const WindowsBuild& CurrentBuild() const = 0;

    void SetUp() override
    {
        if (!CanRun(CurrentBuild()))
            GTEST_SKIP() << "this machine cannot execute 32-bit code";
        m_prefix = &WineEnvironment::For(CurrentBuild());
        Prefix().Reg({"delete", "HKLM\\SOFTWARE\\Halvorin", "/f"});
        fs::remove(Prefix().UnixPath("C:\\windows\\vdds_mmi.ini"));
        for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kAppDir)))
            if (entry.path().extension() == ".bak")
                fs::remove(entry.path());
        fs::remove(m_record);
        fs::remove(m_record + ".release");
    }

    void TearDown() override
    {
        if (m_prefix)
            ReleaseClient();
    }

    // Lets a client that is still waiting finish, and forgets its record.
    void ReleaseClient()
    {
        std::ofstream(m_record + ".release").close();
        for (int waited = 0; waited < 5000 && fs::exists(m_record); waited += 50)
        {
            if (ReadAll(m_record).find("exited") != std::string::npos)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        fs::remove(m_record);
        fs::remove(m_record + ".release");
    }

    const WinePrefix& Prefix() const { return *m_prefix; }

    void SetValue(const std::string& name, const std::string& value)
    {
        ASSERT_EQ(0, Prefix().Reg({"add", kKey, "/v", name, "/d", value, "/f"}));
    }

    // A complete installation that has registered already.
    void Install()
    {
        SetValue("BaseAppPath", kAppDir);
        SetValue("BaseDataPath", "C:\\ProgramData\\Tivora");
        SetValue("VddsIniWritten", "1");
    }

    BoxRun Run(const std::string& arguments, std::map<std::string, std::string> env = {})
    {
        env["TVDDS_CLIENT_RECORD"] = WinePrefix::WindowsPath(m_record);
        return RunWatched(Prefix(), kTvdds + arguments, env);
    }

    // The client's record once it is written, or an empty text when no
    // client started within a few seconds.
    std::string ClientRecord(int waitMs = 5000)
    {
        for (int waited = 0; waited < waitMs; waited += 50)
        {
            const std::string record = ReadAll(m_record);
            if (record.find('\n') != std::string::npos)
                return record;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return std::string();
    }

    std::string Probe(const std::string& what, const std::string& argument)
    {
        const std::string out = Prefix().Root() + "/probe.txt";
        fs::remove(out);
        Prefix().Wine({"C:\\harness\\probe.exe", what, argument, WinePrefix::WindowsPath(out)});
        return ReadAll(out);
    }

    // A value of the product's key in the registry view the program reads.
    std::string RegValue(const std::string& name)
    {
        return Probe(CurrentBuild().regView == "/reg:32" ? "reg32" : "reg64", name);
    }

    std::string m_record =
        fs::temp_directory_path().string() + "/tvdds-client-" + std::to_string(getpid()) + ".txt";

private:
    const WinePrefix* m_prefix = nullptr;
};

// A suite that runs each of its tests once on every Windows build.
class OnEachBuild : public EndToEnd, public ::testing::WithParamInterface<WindowsBuild>
{
protected:
    const WindowsBuild& CurrentBuild() const override { return GetParam(); }
};

const auto kBuilds = ::testing::ValuesIn(WindowsBuilds());

std::string BuildName(const ::testing::TestParamInfo<WindowsBuild>& info)
{
    return info.param.name;
}

struct Refusal
{
    const char* name;
    void (*arrange)(EndToEnd&);
    const char* message;
};

} // namespace

class Refusals : public EndToEnd,
                 public ::testing::WithParamInterface<std::tuple<WindowsBuild, Refusal>>
{
public:
    using EndToEnd::SetValue;

protected:
    const WindowsBuild& CurrentBuild() const override { return std::get<0>(GetParam()); }
    const Refusal& TheRefusal() const { return std::get<1>(GetParam()); }
};

TEST_P(Refusals, ShowTwoBoxesExitWithMinusOneAndStartNothing)
{
    TheRefusal().arrange(*this);
    const BoxRun run = Run(" C:\\x\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(-1, run.exitCode);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ(kRegistryError, run.boxes[0].caption);
    EXPECT_EQ(TheRefusal().message, run.boxes[0].text);
    EXPECT_EQ(kRegistryError, run.boxes[1].caption);
    EXPECT_EQ(kNotStarted, run.boxes[1].text);
    EXPECT_EQ("classic", run.boxes[0].kind);
    EXPECT_EQ("classic", run.boxes[1].kind);
    EXPECT_EQ("", ClientRecord(1000));
}

INSTANTIATE_TEST_SUITE_P(
    BrokenSettings, Refusals,
    ::testing::Combine(
        kBuilds,
        ::testing::Values(
            Refusal{"MissingKey", [](EndToEnd&) {}, "REGISTRY ERROR: can't load configuration"},
            Refusal{"MissingValue",
                    [](EndToEnd& t)
                    { static_cast<Refusals&>(t).SetValue("BaseDataPath", "C:\\x"); },
                    "REGISTRY ERROR: Missing application path entry, can't load configuration"},
            Refusal{"EmptyValue",
                    [](EndToEnd& t) { static_cast<Refusals&>(t).SetValue("BaseAppPath", ""); },
                    "ERROR: Application path is empty, can't load configuration"},
            Refusal{"FileNotDirectory",
                    [](EndToEnd& t)
                    { static_cast<Refusals&>(t).SetValue("BaseAppPath", kAppDir + "\\tvdds.exe"); },
                    "ERROR: Application path does not exist, can't load configuration"})),
    [](const ::testing::TestParamInfo<std::tuple<WindowsBuild, Refusal>>& info)
    { return std::get<1>(info.param).name + std::string("_") + std::get<0>(info.param).name; });

class Launch : public OnEachBuild
{
};

INSTANTIATE_TEST_SUITE_P(Builds, Launch, kBuilds, BuildName);

TEST_P(Launch, UnreadableAppPathIsEmptyAndTheLibraryLogFollowsTheProgramsBoxes)
{
    ASSERT_EQ(0,
              Prefix().Reg({"add", kKey, "/v", "BaseAppPath", "/t", "REG_DWORD", "/d", "1", "/f"}));
    const BoxRun run = Run(" C:\\x\\patient.ini");
    EXPECT_EQ(-1, run.exitCode);
    ASSERT_EQ(3u, run.boxes.size());
    EXPECT_EQ("ERROR: Application path is empty, can't load configuration", run.boxes[0].text);
    EXPECT_EQ(kNotStarted, run.boxes[1].text);
    EXPECT_EQ("Tvdds Error", run.boxes[2].caption);
    EXPECT_NE(std::string::npos, run.boxes[2].text.find("BaseAppPath")) << run.boxes[2].text;
}

TEST_P(Launch, PatientFileStartsClientAndProgramEndsWhileClientRuns)
{
    Install();
    const BoxRun run = Run(" C:\\VDDS\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    const std::string record = ClientRecord();
    EXPECT_EQ("cmdline\ttivoracl.exe C:\\VDDS\\patient.ini\narg\tC:\\VDDS\\patient.ini\n", record);
    EXPECT_EQ(std::string::npos, record.find("exited")) << "the client ended before tvdds";
}

TEST_P(Launch, TrailingBackslashInAppPathIsAccepted)
{
    Install();
    SetValue("BaseAppPath", kAppDir + "\\");
    const BoxRun run = Run(" C:\\VDDS\\patient.ini dswin");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));
}

TEST_P(Launch, NoArgumentWarnsAndStartsNothing)
{
    Install();
    const BoxRun run = Run("");
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Warning!", run.boxes[0].caption);
    EXPECT_EQ("No patient data file found", run.boxes[0].text);
    EXPECT_EQ("classic", run.boxes[0].kind);
    EXPECT_EQ("", ClientRecord(1000));
}

TEST_P(Launch, PathWithBlanksReachesClientAsOneArgument)
{
    Install();
    Run(" \"C:\\VDDS Daten\\patient.ini\" \"C:\\Programme\\dswin\\dswin.exe\"");
    EXPECT_EQ("cmdline\ttivoracl.exe \"C:\\VDDS Daten\\patient.ini\"\n"
              "arg\tC:\\VDDS Daten\\patient.ini\n",
              ClientRecord());
}

TEST_P(Launch, HostileArgumentsReachTheClientExactlyAsTheProgramReadThem)
{
    Install();
    const char* const hostile[] = {
        R"( "C:\VDDS Daten\patient.ini")",
        R"( "a \"q\" b")",
        R"( "C:\My Dir\\")",
        R"( "")",
        " \"tab\there\"",
        R"( a"b c"d)",
        R"( "\\server\share name\x.ini")",
        " \"Z\xC3\xA4hne \xE2\x82\xAC.ini\"",
        R"( x\\"y z")",
        R"( "ends in quote\"")",
    };
    for (const char* tail : hostile)
    {
        const std::string commandLine = kTvdds + tail;
        // The program splits its command line by the library's DOS rules.
        const wxArrayString args = wxCmdLineParser::ConvertStringToArgs(
            wxString::FromUTF8(commandLine), wxCMD_LINE_SPLIT_DOS);
        ASSERT_EQ(2u, args.size()) << tail;

        Run(tail);
        const std::string record = ClientRecord();
        ReleaseClient();
        const std::string argLines = record.substr(std::min(record.find('\n') + 1, record.size()));
        EXPECT_EQ("arg\t" + std::string(args[1].utf8_str()) + "\n", argLines) << tail;
    }
}

TEST_P(Launch, InitSetupTokenStartsNothingAndShowsNothing)
{
    Install();
    for (const char* argument : {" initsetup", " x_initsetup_y"})
    {
        const BoxRun run = Run(argument);
        EXPECT_EQ(0, run.exitCode) << argument;
        EXPECT_TRUE(run.boxes.empty()) << argument;
    }
    EXPECT_EQ("", ClientRecord(1000));
}

namespace
{

const std::string kIni = "C:\\windows\\vdds_mmi.ini";
const std::string kOtherVendors =
    "; practice machine\r\n[BVS]\r\nNAME1=XRAY\r\n\r\n[XRAY]\r\nNAME=X-Ray\r\n";

class Registration : public OnEachBuild
{
protected:
    void SetUp() override
    {
        OnEachBuild::SetUp();
        if (IsSkipped())
            return;
        SetValue("BaseAppPath", kAppDir);
        SetValue("BaseDataPath", "C:\\ProgramData\\Tivora\\");
        fs::create_directories(Prefix().UnixPath("C:\\ProgramData\\Tivora\\conf"));
    }

    std::string Ini() { return ReadAll(Prefix().UnixPath(kIni)); }
    void WriteIni(const std::string& text)
    {
        std::ofstream(Prefix().UnixPath(kIni), std::ios::binary) << text;
    }
    // The next start runs the registration pass again.
    void ForgetRegistration() { Prefix().Reg({"delete", kKey, "/v", "VddsIniWritten", "/f"}); }

    bool EveryoneMayReadAndWrite(const std::string& path)
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

    // The run showed one box only: the report of a pass that did not
    // register the product, for `reason`.
    void ExpectOnlyRefusal(const BoxRun& run, const std::string& reason)
    {
        EXPECT_EQ(0, run.exitCode);
        ASSERT_EQ(1u, run.boxes.size());
        EXPECT_EQ("Tvdds Error", run.boxes[0].caption);
        EXPECT_EQ("classic", run.boxes[0].kind);
        EXPECT_EQ("Tivora was not registered in " + kIni + ": " + reason +
                      ". The file was left unchanged; the registration will be tried again at the "
                      "next start.",
                  run.boxes[0].text);
    }

    std::vector<fs::path> Backups()
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kAppDir)))
            if (entry.path().extension() == ".bak")
                found.push_back(entry.path());
        return found;
    }
};

const std::string kProduct =
    "[TIVORA]\r\nNAME=Tivora\r\n"
    "PATDATIMPORT=C:\\Program Files\\Tivora\\tvdds.exe\r\nPATDATIMPORT_OS=1\r\n";

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Registration, kBuilds, BuildName);

TEST_P(Registration, FirstRunRegistersWithBackupAndSecondRunChangesNothing)
{
    WriteIni(kOtherVendors);
    const BoxRun run = Run(" C:\\VDDS\\patient.ini");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("; practice machine\r\n[BVS]\r\nNAME1=XRAY\r\nNAME2=TIVORA\r\n\r\n[XRAY]\r\n"
              "NAME=X-Ray\r\n" +
                  kProduct + "STAGES=1\r\nVERSION=1.2\r\n",
              Ini());
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
    const std::vector<fs::path> backups = Backups();
    ASSERT_EQ(1u, backups.size());
    EXPECT_EQ(kOtherVendors, ReadAll(backups[0].string()));
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));

    const std::string registered = Ini();
    ReleaseClient();
    Run(" C:\\VDDS\\patient.ini dswin");
    EXPECT_EQ(registered, Ini());
    EXPECT_EQ(1u, Backups().size());
}

TEST_P(Registration, DsWinCallerOnSetUpGetsTheLongSectionAndNoClient)
{
    const BoxRun run = Run(" initsetup C:\\DSWIN\\dswin.exe");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("[BVS]\r\nNAME1=TIVORA\r\n" + kProduct +
                  "MMOINFEXPORT=C:\\Program Files\\Tivora\\tvdds.exe\r\nMMOINFEXPORT_OS=1\r\n"
                  "MMOVIEW=C:\\Program Files\\Tivora\\tvdds.exe\r\nMMOVIEW_OS=1\r\n"
                  "SUPPORTTHUMBNAILS=0\r\nSTAGES=12\r\nVERSION=1.2\r\n",
              Ini());
    EXPECT_TRUE(Backups().empty()) << "there was no file to back up";
    EXPECT_EQ("", ClientRecord(1000));
}

// Wine keeps no access lists of files: it maps a new list to Unix permission
// bits and reads the list back from them (the owner, SYSTEM and Everyone).
// What it can show is that Everyone may now read and write both paths, which
// neither allowed before.
TEST_P(Registration, FileAndDataDirectoryLetEveryoneReadAndWrite)
{
    const std::string conf = "C:\\ProgramData\\Tivora\\conf";
    WriteIni(kOtherVendors);
    fs::permissions(Prefix().UnixPath(kIni), fs::perms(0644));
    fs::permissions(Prefix().UnixPath(conf), fs::perms(0755));
    EXPECT_FALSE(EveryoneMayReadAndWrite(kIni));
    EXPECT_FALSE(EveryoneMayReadAndWrite(conf));

    Run(" initsetup");
    EXPECT_TRUE(EveryoneMayReadAndWrite(kIni)) << Probe("acl", kIni);
    EXPECT_TRUE(EveryoneMayReadAndWrite(conf)) << Probe("acl", conf);
}

TEST_P(Registration, UndecodableFileIsLeftAloneReportedAndRetriedNextRun)
{
    // A UTF-8 text in the multibyte Japanese code page that it cannot be.
    const std::string undecodable = "[BVS]\r\nNAME1=\x81\x20\r\n";
    WriteIni(undecodable);
    const BoxRun run = Run(" initsetup", {{"LC_ALL", "ja_JP.SJIS"}});
    EXPECT_EQ(undecodable, Ini());
    EXPECT_EQ("", RegValue("VddsIniWritten"));
    ExpectOnlyRefusal(run, "its text is not in the system's character set");
}

TEST_P(Registration, OddLinesAreListedInOneDialogAndTheProductIsRegistered)
{
    const std::string file = "file '" + kIni + "', line ";
    const struct
    {
        const char* what;
        std::string before;
        const char* caption;
        std::vector<std::string> entries;
    } cases[] = {
        {"two lines without '='",
         "[BVS]\r\nNAME1=XRAY\r\njunk one\r\njunk two\r\n",
         "Tvdds Error",
         {file + "3: '=' expected.", file + "4: '=' expected."}},
        {"text after a header and a repeated key",
         "[BVS] x\r\nNAME1=A\r\nNAME1=B\r\n",
         "Tvdds Warning",
         // The library counts the earlier line from 0 here and reports the
         // key once more when the edit reads the group.
         {file + "1: 'x' ignored after group header.",
          file + "3: key 'NAME1' was first found at line 1.",
          "entry 'NAME1' appears more than once in group '/BVS'"}},
        {"byte-order mark and one more odd line",
         "\xEF\xBB\xBF[BVS]\r\nNAME1=A\r\nodd\r\n",
         "Tvdds Error",
         {file + "1: '=' expected.", file + "3: '=' expected."}},
    };
    for (const auto& c : cases)
    {
        ForgetRegistration();
        WriteIni(c.before);
        const BoxRun run = Run(" C:\\VDDS\\patient.ini");
        ReleaseClient();
        EXPECT_EQ(0, run.exitCode) << c.what;
        ASSERT_EQ(1u, run.boxes.size()) << c.what;
        EXPECT_EQ(c.caption, run.boxes[0].caption) << c.what;
        EXPECT_EQ("list", run.boxes[0].kind) << c.what;
        EXPECT_EQ(c.entries, run.boxes[0].entries) << c.what;
        EXPECT_NE(std::string::npos, Ini().find(kProduct)) << c.what;
        EXPECT_EQ("1", RegValue("VddsIniWritten")) << c.what;
    }
}

TEST_P(Registration, WithoutAWindowTheProductIsRegisteredTheClientStartsAndTheProgramEnds)
{
    struct NoWindows
    {
        const WinePrefix& prefix;
        explicit NoWindows(const WinePrefix& p) : prefix(p) { prefix.UseGraphicsDriver("absent"); }
        ~NoWindows() { prefix.UseGraphicsDriver("null"); }
    } noWindows(Prefix());
    // Two odd lines, and the dialog that could not be created: more entries
    // than one box holds, and no window to list them in.
    WriteIni("[BVS]\r\nNAME1=XRAY\r\njunk one\r\njunk two\r\n");
    const BoxRun run = Run(" C:\\VDDS\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));
    EXPECT_NE(std::string::npos, Ini().find(kProduct));
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
}

TEST_P(Registration, FileWithNulByteIsRefusedOnEveryRunWithOneBackup)
{
    const std::string withNul("[BVS]\r\nNAME1=A\0B\r\n", 17);
    WriteIni(withNul);
    for (int run = 0; run < 3; ++run)
    {
        ExpectOnlyRefusal(Run(" initsetup"),
                          "some of its lines could not have been kept exactly as they are");
        EXPECT_EQ(withNul, Ini());
        EXPECT_EQ("", RegValue("VddsIniWritten"));
    }
    EXPECT_EQ(1u, Backups().size());
}

TEST_P(Registration, PassKilledHalfwayLeavesTheFileAndFlagForTheNextStart)
{
    // Some megabytes of other vendors' entries make the pass last seconds.
    std::string big = kOtherVendors + "[MANY]\r\n";
    for (int i = 0; big.size() < 8000000; ++i)
        big += "KEY" + std::to_string(i) + "=a value of another vendor\r\n";
    WriteIni(big);

    // The backup comes first; the edit and the replace follow it.
    const pid_t pass = Prefix().Start({kTvdds.substr(1, kTvdds.size() - 2), "initsetup"});
    ASSERT_GT(pass, 0);
    for (int waited = 0; waited < 60000 && Backups().empty(); waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pass, SIGKILL);
    waitpid(pass, nullptr, 0);

    EXPECT_EQ(big, Ini());
    EXPECT_NE("1", RegValue("VddsIniWritten"));
    const BoxRun next = Run(" initsetup");
    EXPECT_TRUE(next.boxes.empty());
    const std::string after = Ini();
    EXPECT_EQ(after.find("=TIVORA\r\n"), after.rfind("=TIVORA\r\n")) << "registered once";
    EXPECT_NE(std::string::npos, after.find(kProduct));
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
}

TEST_P(Registration, LinesAnotherProgramAppendsDuringThePassAreKept)
{
    std::string before = kOtherVendors;
    for (int i = 0; before.size() < 300000; ++i)
        before += "KEY" + std::to_string(i) + "=a value of another vendor\r\n";
    for (int round = 0; round < 3; ++round)
    {
        ForgetRegistration();
        WriteIni(before);
        std::atomic<bool> done(false);
        int appended = 0;
        std::thread vendor(
            [&]
            {
                while (!done)
                {
                    std::ofstream(Prefix().UnixPath(kIni), std::ios::app | std::ios::binary)
                        << "OTHER" << appended++ << "=1\r\n";
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            });
        const BoxRun run = Run(" initsetup");
        done = true;
        vendor.join();

        const std::string after = Ini();
        for (int i = 0; i < appended; ++i)
            ASSERT_NE(std::string::npos, after.find("OTHER" + std::to_string(i) + "=1\r\n"))
                << "round " << round << ", line " << i << " of " << appended;
        if (RegValue("VddsIniWritten") == "1")
            EXPECT_TRUE(run.boxes.empty()) << round;
        else
            ExpectOnlyRefusal(run, "another program kept changing the file");
    }
}

TEST_P(Registration, InstallationDirectoryWithTrailingBlankIsNeverWrittenButTheClientStarts)
{
    WriteIni(kOtherVendors);
    SetValue("BaseAppPath", kAppDir + " ");
    const BoxRun run = Run(" C:\\VDDS\\patient.ini");
    ExpectOnlyRefusal(run, "the installation directory in the registry is not an absolute path");
    EXPECT_EQ(kOtherVendors, Ini());
    EXPECT_EQ("", RegValue("VddsIniWritten"));
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));
}

TEST_P(Registration, ReadOnlyFileIsRefusedHiddenSystemFileKeepsItsAttributesLinkStaysALink)
{
    const std::string ini = Prefix().UnixPath(kIni);
    std::ofstream(ini, std::ios::binary) << kOtherVendors;
    fs::permissions(ini, fs::perms(0444));
    ExpectOnlyRefusal(Run(" initsetup"), "the file is write-protected");
    EXPECT_EQ(kOtherVendors, Ini());
    fs::permissions(ini, fs::perms(0644));

    const unsigned long hiddenSystem = 0x2 | 0x4;
    // Wine's attrib takes one attribute at a time.
    ASSERT_EQ(0, Prefix().Wine({"cmd", "/c", "attrib", "+h", kIni}));
    ASSERT_EQ(0, Prefix().Wine({"cmd", "/c", "attrib", "+s", kIni}));
    ASSERT_EQ(hiddenSystem, std::stoul(Probe("attr", kIni), nullptr, 16) & hiddenSystem);
    EXPECT_TRUE(Run(" initsetup").boxes.empty());
    EXPECT_NE(std::string::npos, Ini().find(kProduct));
    EXPECT_EQ(hiddenSystem, std::stoul(Probe("attr", kIni), nullptr, 16) & hiddenSystem);

    ForgetRegistration();
    const std::string shared = Prefix().UnixPath("C:\\shared\\vdds_mmi.ini");
    fs::create_directories(fs::path(shared).parent_path());
    fs::remove(ini);
    std::ofstream(shared, std::ios::binary) << kOtherVendors;
    fs::create_symlink(shared, ini);
    EXPECT_TRUE(Run(" initsetup").boxes.empty());
    EXPECT_TRUE(fs::is_symlink(ini));
    EXPECT_NE(std::string::npos, ReadAll(shared).find(kProduct));
    fs::remove(ini);
}

namespace
{

class Language : public OnEachBuild
{
protected:
    void SetUp() override
    {
        OnEachBuild::SetUp();
        if (!IsSkipped())
            Install();
    }

    BoxRun RunAs(const std::string& locale) { return Run("", {{"LC_ALL", locale}}); }

    fs::path Catalog() { return Prefix().UnixPath(kAppDir + "\\lang\\de\\LC_MESSAGES\\tvdds.mo"); }
};

const std::string kGermanWarning = "Keine Patientendatei gefunden";

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Language, kBuilds, BuildName);

TEST_P(Language, GermanAndSwissGermanUsersGetGermanTexts)
{
    for (const char* locale : {"de_DE.UTF-8", "de_CH.UTF-8", "de_AT.UTF-8"})
    {
        const BoxRun run = RunAs(locale);
        ASSERT_EQ(1u, run.boxes.size()) << locale;
        EXPECT_EQ("Warnung!", run.boxes[0].caption) << locale;
        EXPECT_EQ(kGermanWarning, run.boxes[0].text) << locale;
    }
}

TEST_P(Language, FrenchUserGetsEnglishWithoutError)
{
    const BoxRun run = RunAs("fr_FR.UTF-8");
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Warning!", run.boxes[0].caption);
    EXPECT_EQ("No patient data file found", run.boxes[0].text);
}

TEST_P(Language, MissingCatalogIsReportedOnceThenEnglish)
{
    const fs::path aside = Prefix().Root() + "/tvdds.mo";
    fs::rename(Catalog(), aside);
    const BoxRun run = RunAs("de_DE.UTF-8");
    fs::rename(aside, Catalog());
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ("Language initialisation error", run.boxes[0].caption);
    EXPECT_EQ("Unable to init language!", run.boxes[0].text);
    EXPECT_EQ("Warning!", run.boxes[1].caption);
    EXPECT_EQ("No patient data file found", run.boxes[1].text);
}

TEST_P(Language, CatalogDirectlyInLangDirectoryIsFound)
{
    const fs::path direct = Prefix().UnixPath(kAppDir + "\\lang\\tvdds.mo");
    fs::rename(Catalog(), direct);
    const BoxRun run = RunAs("de_DE.UTF-8");
    fs::rename(direct, Catalog());
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(kGermanWarning, run.boxes[0].text);
}

namespace
{

const std::string kSetupDir = "C:\\Program Files\\Tivora Setup Test";

class Installer : public Registration
{
protected:
    BoxRun InstallSilently()
    {
        return RunWatched(Prefix(), "C:\\harness\\setup.exe /S /D=" + kSetupDir);
    }

    fs::path Installed(const std::string& relative) const
    {
        return Prefix().UnixPath(kSetupDir + "\\" + relative);
    }

    // The uninstaller runs on from a copy of itself and returns at once.
    bool UninstallAndWait()
    {
        RunWatched(Prefix(), "\"" + kSetupDir + "\\uninstall.exe\" /S");
        for (int waited = 0; waited < 20000; waited += 100)
        {
            if (!fs::exists(Installed("uninstall.exe")))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Installer, kBuilds, BuildName);

TEST_P(Installer, SilentInstallRegistersStartsClientAndUninstallLeavesTheRegistration)
{
    Prefix().Reg({"delete", "HKLM\\SOFTWARE\\Halvorin", "/f"});
    WriteIni(kOtherVendors);

    const BoxRun install = InstallSilently();
    ASSERT_FALSE(install.timedOut);
    EXPECT_EQ(0, install.exitCode);
    EXPECT_TRUE(install.boxes.empty());
    EXPECT_TRUE(fs::exists(Installed("tvdds.exe")));
    EXPECT_TRUE(fs::exists(Installed("lang\\de\\LC_MESSAGES\\tvdds.mo")));
    EXPECT_EQ(kSetupDir, RegValue("BaseAppPath"));
    EXPECT_EQ("C:\\ProgramData\\Tivora", RegValue("BaseDataPath"));
    if (CurrentBuild().name == "win32")
    {
        EXPECT_EQ("", Probe("reg64", "BaseAppPath")) << "nothing in the 64-bit view";
    }
    EXPECT_TRUE(fs::is_directory(Prefix().UnixPath("C:\\ProgramData\\Tivora\\conf")));
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
    const std::string registered = Ini();
    EXPECT_NE(std::string::npos,
              registered.find("NAME2=TIVORA\r\n\r\n[XRAY]\r\nNAME=X-Ray\r\n[TIVORA]\r\n"
                              "NAME=Tivora\r\nPATDATIMPORT=" +
                              kSetupDir + "\\tvdds.exe\r\n"));

    fs::copy_file(Prefix().UnixPath(kAppDir + "\\tivoracl.exe"), Installed("tivoracl.exe"));
    RunWatched(Prefix(), "\"" + kSetupDir + "\\tvdds.exe\" C:\\VDDS\\patient.ini",
               {{"TVDDS_CLIENT_RECORD", WinePrefix::WindowsPath(m_record)}});
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));
    ReleaseClient();
    fs::remove(Installed("tivoracl.exe"));

    EXPECT_EQ(0, InstallSilently().exitCode);
    EXPECT_EQ(registered, Ini()) << "a second install changes nothing";

    ASSERT_TRUE(UninstallAndWait());
    EXPECT_FALSE(fs::exists(Installed("tvdds.exe")));
    EXPECT_FALSE(fs::exists(Installed("lang")));
    EXPECT_NE(0, Prefix().Reg({"query", kKey}));
    EXPECT_EQ(registered, Ini()) << "other vendors live in the file too";
    for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kSetupDir)))
        EXPECT_EQ(".bak", entry.path().extension()) << "only the backup stays";
}

TEST_P(Installer, ReinstallEntersALostProductAgainOnceAndOtherwiseChangesNothing)
{
    WriteIni(kOtherVendors);
    ASSERT_EQ(0, InstallSilently().exitCode);
    // Another vendor's set-up wrote the file back without the product's lines.
    WriteIni(kOtherVendors);

    const BoxRun repair = InstallSilently();
    EXPECT_EQ(0, repair.exitCode);
    EXPECT_TRUE(repair.boxes.empty());
    const std::string repaired = Ini();
    EXPECT_EQ("; practice machine\r\n[BVS]\r\nNAME1=XRAY\r\nNAME2=TIVORA\r\n\r\n[XRAY]\r\n"
              "NAME=X-Ray\r\n[TIVORA]\r\nNAME=Tivora\r\nPATDATIMPORT=" +
                  kSetupDir + "\\tvdds.exe\r\nPATDATIMPORT_OS=1\r\nSTAGES=1\r\nVERSION=1.2\r\n",
              repaired);
    EXPECT_EQ("1", RegValue("VddsIniWritten"));

    EXPECT_EQ(0, InstallSilently().exitCode);
    EXPECT_EQ(repaired, Ini());
    EXPECT_TRUE(UninstallAndWait());
}

TEST_P(Installer, ProgramAndInstallerCarryTheProjectVersion)
{
    const std::string v = TVDDS_VERSION;
    const std::string program = "CompanyName\tHalvorin\nFileDescription\tTivora VDDS starter\n"
                                "FileVersion\t" +
                                v +
                                "\nInternalName\ttvdds\n"
                                "LegalCopyright\tCopyright (C) Halvorin\n"
                                "OriginalFilename\ttvdds.exe\nProductName\tTivora\n"
                                "ProductVersion\t" +
                                v + "\nfixed\t" + v + ".0\n";
    ASSERT_EQ(0, InstallSilently().exitCode);
    for (const std::string& exe : {kAppDir + "\\tvdds.exe", kSetupDir + "\\tvdds.exe"})
        EXPECT_EQ(program, Probe("version", exe)) << exe;
    const std::string setup = Probe("version", "C:\\harness\\setup.exe");
    for (const std::string& line :
         {std::string("ProductName\tTivora\n"), std::string("CompanyName\tHalvorin\n"),
          "ProductVersion\t" + v + "\n", "fixed\t" + v + ".0\n"})
        EXPECT_NE(std::string::npos, setup.find(line)) << setup;
    EXPECT_TRUE(UninstallAndWait());
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new WineEnvironment);
    return RUN_ALL_TESTS();
}
