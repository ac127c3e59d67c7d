#include <fstream>
#include <sstream>

#include "e2e_fixture.h"

namespace fs = std::filesystem;

namespace
{

const std::string kHeading = "Tivora check of " + kIni;
const std::string kNothingWrong = "Nothing wrong was found.";
const std::string kSeeAbove = "Each line above says what is wrong and what to do.";

// The line that says what Windows' own profile reader finds, in English and
// in German.
const std::string kSystemReaderNote = "NOTE: Windows' own reader of " + kIni + " finds the list: ";
const std::string kGermanSystemReaderNote =
    "HINWEIS: Der Leser von Windows selbst findet in " + kIni + " die Liste: ";

struct CheckRun
{
    int exitCode = -1;
    // Every line but the system reader's.
    std::vector<std::string> lines;
    // What the system reader's line says after its start.
    std::string systemReader;
};

// A healthy installation through the installer, with the imaging client
// beside the program, and the support check run on it as a technician
// would, its output redirected to a file.
class SupportCheck : public InstallerFixture
{
protected:
    void SetUp() override
    {
        InstallerFixture::SetUp();
        if (IsSkipped())
            return;
        WriteIni(kOtherVendors);
        ASSERT_EQ(0, InstallSilently().exitCode);
        fs::copy_file(Prefix().UnixPath(kAppDir + "\\tivoracl.exe"), Installed("tivoracl.exe"),
                      fs::copy_options::overwrite_existing);
        m_healthy = Ini();
    }

    void TearDown() override
    {
        if (!IsSkipped())
        {
            // The client is no part of the installation.
            fs::remove(Installed("tivoracl.exe"));
            EXPECT_TRUE(UninstallQuietly());
            fs::remove_all(Installed(""));
        }
        InstallerFixture::TearDown();
    }

    CheckRun RunCheck(const std::map<std::string, std::string>& env = {})
    {
        const std::string out = Prefix().UnixPath("C:\\check.txt");
        fs::remove(out);
        std::ofstream(Prefix().UnixPath("C:\\check.cmd"), std::ios::binary)
            << "@\"" << kSetupDir << "\\tvdds-check.exe\" > C:\\check.txt\r\n"
            << "@exit /b %errorlevel%\r\n";
        CheckRun run;
        run.exitCode = Prefix().Wine({"cmd", "/c", "C:\\check.cmd"}, env);
        std::stringstream text(ReadAll(out));
        for (std::string line; std::getline(text, line);)
        {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.rfind(kSystemReaderNote, 0) == 0)
                run.systemReader = line.substr(kSystemReaderNote.size());
            else if (line.rfind(kGermanSystemReaderNote, 0) == 0)
                run.systemReader = line.substr(kGermanSystemReaderNote.size());
            else
                run.lines.push_back(line);
        }
        return run;
    }

    // The run found exactly `problem` and said so.
    void ExpectOnlyProblem(const CheckRun& run, const std::string& problem, const std::string& what)
    {
        EXPECT_EQ(1, run.exitCode) << what;
        EXPECT_EQ((std::vector<std::string>{kHeading, "PROBLEM: " + problem, kSeeAbove}), run.lines)
            << what;
    }

    std::string m_healthy;
};

std::string Without(std::string text, const std::string& part)
{
    const size_t at = text.find(part);
    return at == std::string::npos ? text : text.erase(at, part.size());
}

std::string Replaced(std::string text, const std::string& part, const std::string& by)
{
    const size_t at = text.find(part);
    return at == std::string::npos ? text : text.replace(at, part.size(), by);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, SupportCheck, kBuilds, BuildName);

TEST_P(SupportCheck, HealthyInstallationHasNothingWrongInEitherLanguage)
{
    const CheckRun run = RunCheck();
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ((std::vector<std::string>{kHeading, kNothingWrong}), run.lines);
    EXPECT_EQ("XRAY, TIVORA; and PATDATIMPORT of [TIVORA]: " + kSetupDir + "\\tvdds.exe.",
              run.systemReader);
    const CheckRun german = RunCheck({{"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(0, german.exitCode);
    EXPECT_EQ(
        (std::vector<std::string>{"Tivora-Prüfung von " + kIni, "Es wurde kein Fehler gefunden."}),
        german.lines);
    EXPECT_EQ("XRAY, TIVORA; und PATDATIMPORT von [TIVORA]: " + kSetupDir + "\\tvdds.exe.",
              german.systemReader);
}

TEST_P(SupportCheck, BrokenRegistrationFileIsFoundAsTheReadersSeeIt)
{
    const std::string program = kSetupDir + "\\tvdds.exe";
    const struct
    {
        const char* what;
        std::string file;
        std::string problem;
    } cases[] = {
        {"product missing from the list", Without(m_healthy, "NAME2=TIVORA\r\n"),
         "Tivora is not listed in [BVS]: the practice software does not offer it. Install the "
         "product again, which adds the entry."},
        {"a gap in the list", Replaced(m_healthy, "NAME2=TIVORA", "NAME3=TIVORA"),
         "NAME2 is missing in [BVS]: readers that count up from NAME1 stop there and do not see "
         "the entries after it. Number the entries without a gap."},
        {"a second list section", m_healthy + "[BVS]\r\nNAME1=XRAY\r\n",
         "[BVS] stands 2 times in " + kIni +
             ": readers see only the first one. Move the entries of the others into the first "
             "and remove the other headers."},
        // Wine's profile API skips the mark; Windows readers do not.
        {"a UTF-8 byte-order mark", "\xEF\xBB\xBF" + m_healthy,
         kIni + " starts with a UTF-8 byte-order mark: Windows readers then do not see its first "
                "section header. Save it again as ANSI text (without the three bytes EF BB BF)."},
        // Wine's reader ends the header's name at its last "]".
        {"a header Wine reads otherwise", Replaced(m_healthy, "[BVS]", "[BVS] ; list [old]"),
         "Windows' own reader of " + kIni +
             " reads it otherwise than Windows' rules for such files say (the list: XRAY, "
             "TIVORA; PATDATIMPORT of [TIVORA]: " +
             program +
             "): a line of the file is read differently on this system. Correct the lines the "
             "two readings differ in."},
        {"an empty entry hides the next", Replaced(m_healthy, "NAME1=XRAY", "NAME1=\r\nNAME3=XRAY"),
         "NAME1 in [BVS] is empty: readers that count up from NAME1 stop there and do not see "
         "the entries after it. Number the entries without a gap."},
        {"the program's path to a missing file",
         Replaced(m_healthy, "PATDATIMPORT=" + program, "PATDATIMPORT=C:\\gone\\tvdds.exe"),
         "PATDATIMPORT of [TIVORA] names a program that does not exist: \"C:\\gone\\tvdds.exe\". "
         "Install the product again."},
    };
    for (const auto& c : cases)
    {
        ASSERT_NE(m_healthy, c.file) << c.what;
        WriteIni(c.file);
        ExpectOnlyProblem(RunCheck(), c.problem, c.what);
    }
}

// Fault guarded against: started by a scheduler or an agent, where nobody
// sees its console window, the check waited for a key forever.
TEST_P(SupportCheck, WhereNobodySeesItsWindowTheCheckEndsWithoutWaitingForAKey)
{
    // "start" gives it a console window of its own, as a double click does.
    const BoxRun run =
        RunWatched(Prefix(), "cmd /c start \"\" /wait \"" + kSetupDir + "\\tvdds-check.exe\"", {},
                   Station::Hidden);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
}

TEST_P(SupportCheck, PerUserCopyWithoutTheProductIsFound)
{
    // The Wine user's profile: the one that is not "Public".
    std::string user;
    for (const auto& entry : fs::directory_iterator(Prefix().UnixPath("C:\\users")))
        if (entry.path().filename() != "Public")
            user = entry.path().filename().string();
    const std::string copy =
        "C:\\Users\\" + user + "\\AppData\\Local\\VirtualStore\\Windows\\vdds_mmi.ini";
    fs::create_directories(fs::path(Prefix().UnixPath(copy)).parent_path());
    std::ofstream(Prefix().UnixPath(copy), std::ios::binary) << kOtherVendors;
    const CheckRun run = RunCheck();
    fs::remove(Prefix().UnixPath(copy));
    EXPECT_EQ(1, run.exitCode);
    ASSERT_EQ(3u, run.lines.size());
    const std::string start = "PROBLEM: " + copy + " is a per-user copy (VirtualStore, changed ";
    const std::string end = "; it does not list Tivora) that programs of this user read instead "
                            "of the shared file. Delete it, so that they read the shared file "
                            "again.";
    EXPECT_EQ(0u, run.lines[1].find(start)) << run.lines[1];
    EXPECT_EQ(run.lines[1].size() - end.size(), run.lines[1].rfind(end)) << run.lines[1];
}

TEST_P(SupportCheck, BrokenSettingsAreFoundInTheViewTheProgramReads)
{
    const bool is32Bit = CurrentBuild().regView == "/reg:32";
    Prefix().Reg({"delete", kKey, "/v", "VddsIniWritten", "/f"});
    ASSERT_EQ(0, Prefix().Wine({"reg", "add", kKey, "/v", "VddsIniWritten", "/d", "1", "/f",
                                is32Bit ? "/reg:64" : "/reg:32"}));
    const CheckRun otherView = RunCheck();
    Prefix().Wine({"reg", "delete", kKey, "/f", is32Bit ? "/reg:64" : "/reg:32"});
    SetValue("VddsIniWritten", "1");
    EXPECT_EQ(1, otherView.exitCode);
    EXPECT_EQ(
        (std::vector<std::string>{
            kHeading,
            "PROBLEM: VddsIniWritten is not 1: the product was not registered in "
            "vdds_mmi.ini yet, or its last registration failed. Run \"tvdds.exe "
            "initsetup\" as an administrator, or install the product again, and read its "
            "message.",
            std::string("PROBLEM: VddsIniWritten is set only in the ") + (is32Bit ? "64" : "32") +
                "-bit registry view, which the installed " + (is32Bit ? "32" : "64") +
                "-bit program does not read: an installer for the other kind of Windows "
                "program was used. Uninstall it and install the matching one.",
            kSeeAbove}),
        otherView.lines);

    SetValue("BaseAppPath", "Tivora");
    const CheckRun relative = RunCheck();
    SetValue("BaseAppPath", kSetupDir);
    ExpectOnlyProblem(relative,
                      "BaseAppPath in the registry is not an absolute path: \"Tivora\". Install "
                      "the product again, or set it to the full path of the directory.",
                      "relative BaseAppPath");
}

TEST_P(SupportCheck, ChangesNothingInTheFilesOrTheRegistry)
{
    WriteIni(Without(m_healthy, "NAME2=TIVORA\r\n"));
    // Every file of the C: drive by name, size and time, the registration
    // file by its bytes, and the product's registry key in both views.
    const auto snapshot = [&]
    {
        std::string state = Ini();
        for (const auto& entry : fs::recursive_directory_iterator(Prefix().UnixPath("C:\\")))
        {
            // The run's own script and output.
            if (!entry.is_regular_file() || entry.path().filename() == "check.txt" ||
                entry.path().filename() == "check.cmd")
                continue;
            state += entry.path().string() + " " + std::to_string(entry.file_size()) + " " +
                     std::to_string(entry.last_write_time().time_since_epoch().count()) + "\n";
        }
        for (const char* view : {"/reg:32", "/reg:64"})
        {
            const std::string exported = Prefix().Root() + "/registry.reg";
            Prefix().Wine({"reg", "export", "HKLM\\SOFTWARE\\Halvorin",
                           WinePrefix::WindowsPath(exported), "/y", view});
            state += ReadAll(exported);
        }
        return state;
    };
    const std::string before = snapshot();
    EXPECT_EQ(1, RunCheck().exitCode);
    EXPECT_TRUE(before == snapshot()) << "the check changed the prefix";
}
