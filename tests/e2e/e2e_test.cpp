#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

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

// One prefix for the whole run: Wine's first start takes many seconds.
class WineEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/tvdds-e2e-XXXXXX";
        m_root = mkdtemp(pattern);
        prefix.reset(new WinePrefix(m_root, TVDDS_WIN64_DIR));
    }

    void TearDown() override
    {
        prefix.reset();
        fs::remove_all(m_root);
    }

    static std::unique_ptr<WinePrefix> prefix;

private:
    std::string m_root;
};

std::unique_ptr<WinePrefix> WineEnvironment::prefix;

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Prefix().Wine({"reg", "delete", "HKLM\\SOFTWARE\\Halvorin", "/f"});
        fs::remove(Prefix().UnixPath("C:\\windows\\vdds_mmi.ini"));
        for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kAppDir)))
            if (entry.path().extension() == ".bak")
                fs::remove(entry.path());
        fs::remove(m_record);
        fs::remove(m_record + ".release");
    }

    void TearDown() override { ReleaseClient(); }

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

    static const WinePrefix& Prefix() { return *WineEnvironment::prefix; }

    void SetValue(const std::string& name, const std::string& value)
    {
        ASSERT_EQ(0, Prefix().Wine({"reg", "add", kKey, "/v", name, "/d", value, "/f"}));
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

    std::string m_record =
        fs::temp_directory_path().string() + "/tvdds-client-" + std::to_string(getpid()) + ".txt";
};

struct Refusal
{
    const char* name;
    void (*arrange)(EndToEnd&);
    const char* message;
};

} // namespace

class Refusals : public EndToEnd, public ::testing::WithParamInterface<Refusal>
{
public:
    using EndToEnd::SetValue;
};

TEST_P(Refusals, ShowTwoBoxesExitWithMinusOneAndStartNothing)
{
    GetParam().arrange(*this);
    const BoxRun run = Run(" C:\\x\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(-1, run.exitCode);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ(kRegistryError, run.boxes[0].caption);
    EXPECT_EQ(GetParam().message, run.boxes[0].text);
    EXPECT_EQ(kRegistryError, run.boxes[1].caption);
    EXPECT_EQ(kNotStarted, run.boxes[1].text);
    EXPECT_TRUE(run.boxes[0].classic && run.boxes[1].classic) << "classic Windows message boxes";
    EXPECT_EQ("", ClientRecord(1000));
}

INSTANTIATE_TEST_SUITE_P(
    BrokenSettings, Refusals,
    ::testing::Values(
        Refusal{"MissingKey", [](EndToEnd&) {}, "REGISTRY ERROR: can't load configuration"},
        Refusal{"MissingValue",
                [](EndToEnd& t) { static_cast<Refusals&>(t).SetValue("BaseDataPath", "C:\\x"); },
                "REGISTRY ERROR: Missing application path entry, can't load configuration"},
        Refusal{"EmptyValue",
                [](EndToEnd& t) { static_cast<Refusals&>(t).SetValue("BaseAppPath", ""); },
                "ERROR: Application path is empty, can't load configuration"},
        Refusal{"FileNotDirectory",
                [](EndToEnd& t)
                { static_cast<Refusals&>(t).SetValue("BaseAppPath", kAppDir + "\\tvdds.exe"); },
                "ERROR: Application path does not exist, can't load configuration"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(EndToEnd, UnreadableAppPathIsEmptyAndTheLibraryLogFollowsTheProgramsBoxes)
{
    ASSERT_EQ(0, Prefix().Wine({"reg", "add", kKey, "/v", "BaseAppPath", "/t", "REG_DWORD", "/d",
                                "1", "/f"}));
    const BoxRun run = Run(" C:\\x\\patient.ini");
    EXPECT_EQ(-1, run.exitCode);
    ASSERT_EQ(3u, run.boxes.size());
    EXPECT_EQ("ERROR: Application path is empty, can't load configuration", run.boxes[0].text);
    EXPECT_EQ(kNotStarted, run.boxes[1].text);
    EXPECT_EQ("Tvdds Error", run.boxes[2].caption);
    EXPECT_NE(std::string::npos, run.boxes[2].text.find("BaseAppPath")) << run.boxes[2].text;
}

TEST_F(EndToEnd, PatientFileStartsClientAndProgramEndsWhileClientRuns)
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

TEST_F(EndToEnd, TrailingBackslashInAppPathIsAccepted)
{
    Install();
    SetValue("BaseAppPath", kAppDir + "\\");
    const BoxRun run = Run(" C:\\VDDS\\patient.ini dswin");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));
}

TEST_F(EndToEnd, NoArgumentWarnsAndStartsNothing)
{
    Install();
    const BoxRun run = Run("");
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Warning!", run.boxes[0].caption);
    EXPECT_EQ("No patient data file found", run.boxes[0].text);
    EXPECT_TRUE(run.boxes[0].classic);
    EXPECT_EQ("", ClientRecord(1000));
}

TEST_F(EndToEnd, PathWithBlanksReachesClientAsOneArgument)
{
    Install();
    Run(" \"C:\\VDDS Daten\\patient.ini\" \"C:\\Programme\\dswin\\dswin.exe\"");
    EXPECT_EQ("cmdline\ttivoracl.exe \"C:\\VDDS Daten\\patient.ini\"\n"
              "arg\tC:\\VDDS Daten\\patient.ini\n",
              ClientRecord());
}

TEST_F(EndToEnd, HostileArgumentsReachTheClientExactlyAsTheProgramReadThem)
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

TEST_F(EndToEnd, InitSetupTokenStartsNothingAndShowsNothing)
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

class Registration : public EndToEnd
{
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        SetValue("BaseAppPath", kAppDir);
        SetValue("BaseDataPath", "C:\\ProgramData\\Tivora\\");
        fs::create_directories(Prefix().UnixPath("C:\\ProgramData\\Tivora\\conf"));
    }

    std::string Probe(const std::string& what, const std::string& argument)
    {
        const std::string out = Prefix().Root() + "/probe.txt";
        fs::remove(out);
        Prefix().Wine({"C:\\harness\\probe.exe", what, argument, WinePrefix::WindowsPath(out)});
        return ReadAll(out);
    }

    std::string Ini() { return ReadAll(Prefix().UnixPath(kIni)); }

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

TEST_F(Registration, FirstRunRegistersWithBackupAndSecondRunChangesNothing)
{
    std::ofstream(Prefix().UnixPath(kIni), std::ios::binary) << kOtherVendors;
    const BoxRun run = Run(" C:\\VDDS\\patient.ini");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("; practice machine\r\n[BVS]\r\nNAME1=XRAY\r\nNAME2=TIVORA\r\n\r\n[XRAY]\r\n"
              "NAME=X-Ray\r\n" +
                  kProduct + "STAGES=1\r\nVERSION=1.2\r\n",
              Ini());
    EXPECT_EQ("1", Probe("reg", "VddsIniWritten"));
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

TEST_F(Registration, DsWinCallerOnSetUpGetsTheLongSectionAndNoClient)
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
TEST_F(Registration, FileAndDataDirectoryLetEveryoneReadAndWrite)
{
    const std::string conf = "C:\\ProgramData\\Tivora\\conf";
    std::ofstream(Prefix().UnixPath(kIni), std::ios::binary) << kOtherVendors;
    fs::permissions(Prefix().UnixPath(kIni), fs::perms(0644));
    fs::permissions(Prefix().UnixPath(conf), fs::perms(0755));
    EXPECT_FALSE(EveryoneMayReadAndWrite(kIni));
    EXPECT_FALSE(EveryoneMayReadAndWrite(conf));

    Run(" initsetup");
    EXPECT_TRUE(EveryoneMayReadAndWrite(kIni)) << Probe("acl", kIni);
    EXPECT_TRUE(EveryoneMayReadAndWrite(conf)) << Probe("acl", conf);
}

TEST_F(Registration, UndecodableFileIsLeftAloneAndRetriedNextRun)
{
    // A UTF-8 text in the multibyte Japanese code page that it cannot be.
    const std::string undecodable = "[BVS]\r\nNAME1=\x81\x20\r\n";
    std::ofstream(Prefix().UnixPath(kIni), std::ios::binary) << undecodable;
    Run(" initsetup", {{"LC_ALL", "ja_JP.SJIS"}});
    EXPECT_EQ(undecodable, Ini());
    EXPECT_EQ("0", Probe("reg", "VddsIniWritten"));
}

namespace
{

class Language : public EndToEnd
{
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        Install();
    }

    BoxRun RunAs(const std::string& locale) { return Run("", {{"LC_ALL", locale}}); }

    fs::path Catalog() { return Prefix().UnixPath(kAppDir + "\\lang\\de\\LC_MESSAGES\\tvdds.mo"); }
};

const std::string kGermanWarning = "Keine Patientendatei gefunden";

} // namespace

TEST_F(Language, GermanAndSwissGermanUsersGetGermanTexts)
{
    for (const char* locale : {"de_DE.UTF-8", "de_CH.UTF-8", "de_AT.UTF-8"})
    {
        const BoxRun run = RunAs(locale);
        ASSERT_EQ(1u, run.boxes.size()) << locale;
        EXPECT_EQ("Warnung!", run.boxes[0].caption) << locale;
        EXPECT_EQ(kGermanWarning, run.boxes[0].text) << locale;
    }
}

TEST_F(Language, FrenchUserGetsEnglishWithoutError)
{
    const BoxRun run = RunAs("fr_FR.UTF-8");
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Warning!", run.boxes[0].caption);
    EXPECT_EQ("No patient data file found", run.boxes[0].text);
}

TEST_F(Language, MissingCatalogIsReportedOnceThenEnglish)
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

TEST_F(Language, CatalogDirectlyInLangDirectoryIsFound)
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

TEST_F(Installer, SilentInstallRegistersStartsClientAndUninstallLeavesTheRegistration)
{
    Prefix().Wine({"reg", "delete", "HKLM\\SOFTWARE\\Halvorin", "/f"});
    std::ofstream(Prefix().UnixPath(kIni), std::ios::binary) << kOtherVendors;

    const BoxRun install = InstallSilently();
    ASSERT_FALSE(install.timedOut);
    EXPECT_EQ(0, install.exitCode);
    EXPECT_TRUE(install.boxes.empty());
    EXPECT_TRUE(fs::exists(Installed("tvdds.exe")));
    EXPECT_TRUE(fs::exists(Installed("lang\\de\\LC_MESSAGES\\tvdds.mo")));
    EXPECT_EQ(kSetupDir, Probe("reg", "BaseAppPath"));
    EXPECT_EQ("C:\\ProgramData\\Tivora", Probe("reg", "BaseDataPath"));
    EXPECT_TRUE(fs::is_directory(Prefix().UnixPath("C:\\ProgramData\\Tivora\\conf")));
    EXPECT_EQ("1", Probe("reg", "VddsIniWritten"));
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
    EXPECT_NE(0, Prefix().Wine({"reg", "query", kKey}));
    EXPECT_EQ(registered, Ini()) << "other vendors live in the file too";
    for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kSetupDir)))
        EXPECT_EQ(".bak", entry.path().extension()) << "only the backup stays";
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new WineEnvironment);
    return RUN_ALL_TESTS();
}
