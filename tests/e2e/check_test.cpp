#include <fstream>
#include <sstream>

#include "e2e_fixture.h"

namespace fs = std::filesystem;

namespace
{

const std::string kHeading = "Tivora check of " + kIni;
const std::string kNothingWrong = "Nothing wrong was found.";
const std::string kSeeAbove = "Each line above says what is wrong and what to do.";
const std::string kProgram = kSetupDir + "\\tvdds.exe";
const std::string kOffered = "The practice software offers Tivora on this computer: it calls " +
                             kProgram + ", which can start and opens X-rays with " + kSetupDir +
                             "\\tivoracl.exe.";
const std::string kNoChange =
    "NOTE: Installing the product again would change no line of " + kIni + ".";
const std::string kNotOffered =
    "PROBLEM: The practice software does not offer Tivora on this computer: ";
const std::string kChangesBelow = " Install the product again: it makes the changes below.";
const std::string kRemoveReadOnly =
    "Remove the read-only attribute of the file (Properties), then install the product again";

// The problem that line `number` of the file, reading `line`, is written
// as `written` by installing again.
std::string Rewritten(int number, const std::string& line, const std::string& written)
{
    return "PROBLEM: Line " + std::to_string(number) + " of " + kIni + " reads \"" + line +
           "\". Install the product again: it writes " + written + ".";
}

std::string Removed(int number, const std::string& line)
{
    return "PROBLEM: Line " + std::to_string(number) + " of " + kIni + " reads \"" + line +
           "\". Install the product again: it removes the line.";
}

struct CheckRun
{
    int exitCode = -1;
    std::vector<std::string> lines;
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
            run.lines.push_back(line);
        }
        return run;
    }

    // The run found the problems `found` says, and said so.
    void ExpectFound(const CheckRun& run, int exitCode, const std::vector<std::string>& found,
                     const std::string& what)
    {
        std::vector<std::string> lines{kHeading};
        lines.insert(lines.end(), found.begin(), found.end());
        lines.push_back(exitCode == 0 ? kNothingWrong : kSeeAbove);
        EXPECT_EQ(exitCode, run.exitCode) << what;
        EXPECT_EQ(lines, run.lines) << what;
    }

    // The newest of the backups the pass made in the installation
    // directory, by the date and time in its name.
    std::string NewestBackup() const
    {
        std::string newest;
        for (const auto& entry : fs::directory_iterator(Installed("")))
        {
            const std::string name = entry.path().filename().string();
            if (name.rfind("vdds_mmi_", 0) == 0 && entry.path().extension() == ".bak")
                newest = std::max(newest, name);
        }
        return kSetupDir + "\\" + newest;
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

std::string Utf16Be(const std::string& ascii)
{
    std::string text = "\xFE\xFF";
    for (const char ch : ascii)
        text.append(1, '\0').append(1, ch);
    return text;
}

// The file's text as UTF-16LE with its byte-order mark.
std::string Utf16Le(const std::string& ascii)
{
    std::string text = "\xFF\xFE";
    for (const char ch : ascii)
        text.append(1, ch).append(1, '\0');
    return text;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, SupportCheck, kBuilds, BuildName);

TEST_P(SupportCheck, HealthyInstallationIsOfferedWithItsProgramInEitherLanguage)
{
    ExpectFound(RunCheck(), 0, {kOffered, kNoChange}, "healthy");
    const CheckRun german = RunCheck({{"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(0, german.exitCode);
    EXPECT_EQ((std::vector<std::string>{
                  "Tivora-Prüfung von " + kIni,
                  "Die Praxissoftware bietet Tivora auf diesem Computer an: Sie ruft " + kProgram +
                      " auf, das starten kann und Röntgenbilder mit " + kSetupDir +
                      "\\tivoracl.exe öffnet.",
                  "HINWEIS: Eine erneute Installation des Produkts würde keine Zeile von " + kIni +
                      " ändern.",
                  "Es wurde kein Fehler gefunden."}),
              german.lines);
}

TEST_P(SupportCheck, BrokenRegistrationFileIsAnsweredAsTheReadersSeeIt)
{
    // What a case changes besides the file, undone after its run.
    enum class Also
    {
        Nothing,
        ReadOnlyFile,
        EmptyBaseAppPath,
    };
    const std::string productFirst =
        m_healthy.substr(m_healthy.find("[TIVORA]")) +
        Without(Without(m_healthy, "; practice machine\r\n"),
                m_healthy.substr(m_healthy.find("[TIVORA]")));
    const struct
    {
        const char* what;
        std::string file;
        int exitCode;
        std::vector<std::string> found;
        Also also = Also::Nothing;
    } cases[] = {
        {"product missing from the list",
         Without(m_healthy, "NAME2=TIVORA\r\n"),
         1,
         {kNotOffered + "no entry of [BVS] that readers see names it (they see: XRAY)." +
              kChangesBelow,
          "PROBLEM: A line is missing before line 4 of " + kIni +
              ". Install the product again: it writes NAME2=TIVORA there."}},
        {"product behind an empty entry",
         Replaced(m_healthy, "NAME2=TIVORA", "NAME2=\r\nNAME3=TIVORA"),
         1,
         {kNotOffered +
              "its entry NAME3=TIVORA in [BVS] stands behind the place where readers that count "
              "up from NAME1 stop: NAME2 is empty." +
              kChangesBelow,
          Rewritten(4, "NAME2=", "NAME2=TIVORA"), Removed(5, "NAME3=TIVORA")}},
        {"a gap in the list",
         Replaced(m_healthy, "NAME2=TIVORA", "NAME3=TIVORA"),
         1,
         {kNotOffered +
              "its entry NAME3=TIVORA in [BVS] stands behind the place where readers that count "
              "up from NAME1 stop: NAME2 is missing." +
              kChangesBelow,
          Removed(4, "NAME3=TIVORA"),
          "PROBLEM: A line is missing before line 5 of " + kIni +
              ". Install the product again: it writes NAME2=TIVORA there."}},
        {"an empty entry hides the product and the next",
         Replaced(m_healthy, "NAME1=XRAY", "NAME1=\r\nNAME3=XRAY"),
         1,
         {kNotOffered +
              "its entry NAME2=TIVORA in [BVS] stands behind the place where readers that count "
              "up from NAME1 stop: NAME1 is empty." +
              kChangesBelow,
          Rewritten(3, "NAME1=", "NAME1=TIVORA"), Rewritten(4, "NAME3=XRAY", "NAME2=XRAY"),
          Removed(5, "NAME2=TIVORA")}},
        {"another installation's program",
         Replaced(m_healthy, "PATDATIMPORT=" + kProgram, "PATDATIMPORT=C:\\gone\\tvdds.exe"),
         1,
         {kNotOffered +
              "[TIVORA] calls \"C:\\gone\\tvdds.exe\", not this installation's program \"" +
              kProgram + "\"." + kChangesBelow,
          Rewritten(10, "PATDATIMPORT=C:\\gone\\tvdds.exe", "PATDATIMPORT=" + kProgram)}},
        // Wine's reader ends the header's name at its last "]".
        {"a header Wine reads otherwise",
         Replaced(m_healthy, "[BVS]", "[BVS] ; list [old]"),
         1,
         {kNotOffered + "Windows' own reader of " + kIni +
              " does not find it in the list, where Windows' rules for such files find it (it "
              "finds: nothing). A line of the file is read differently on this system: correct "
              "the lines the two readings differ in.",
          kNoChange}},
        {"an older version's section",
         Replaced(m_healthy, "VERSION=1.2", "VERSION=1.1"),
         1,
         {kOffered, Rewritten(13, "VERSION=1.1", "VERSION=1.2")}},
        {"the product listed twice",
         Replaced(m_healthy, "NAME2=TIVORA", "NAME2=TIVORA\r\nNAME3=TIVORA"),
         1,
         {kOffered, Removed(5, "NAME3=TIVORA")}},
        {"another system in a second list section",
         m_healthy + "[BVS]\r\nNAME1=ZORBEX\r\n",
         1,
         {kOffered, kNoChange,
          "PROBLEM: The [BVS] section in line 14 of " + kIni +
              " lists ZORBEX, which no reader sees: readers see only the first [BVS]. Ask the "
              "vendors of these systems to install them again."}},
        // Removing the entry would hide every later one.
        {"an entry naming a missing section",
         Replaced(m_healthy, "[XRAY]", "[XRAYOLD]"),
         1,
         {kOffered, kNoChange,
          "PROBLEM: NAME1=XRAY in [BVS] names a section that does not exist: the practice "
          "software offers an imaging system it cannot call. Install that system again, or ask "
          "its vendor."}},
        // The pass never replaces a read-only file. Wine keeps the attribute
        // as the file's mode, from which it reads the rights too.
        {"a read-only file the pass would change",
         Without(m_healthy, "NAME2=TIVORA\r\n"),
         1,
         {kNotOffered + "no entry of [BVS] that readers see names it (they see: XRAY). " +
              kRemoveReadOnly + ": it makes the changes below.",
          "PROBLEM: A line is missing before line 4 of " + kIni + ". " + kRemoveReadOnly +
              ": it writes NAME2=TIVORA there.",
          "PROBLEM: Everyone may not read and write " + kIni +
              ": practice software and imaging systems that run without administrator rights "
              "cannot use it. Run \"tvdds.exe initsetup\" as an administrator, which opens the "
              "rights again.",
          "PROBLEM: The administrators may not read and write " + kIni +
              ". Run \"tvdds.exe initsetup\" as an administrator, which opens the rights again."},
         Also::ReadOnlyFile},
        // Without a plan, ZORBEX is not said to stay hidden: the pass would
        // take the empty entry.
        {"no installation directory in the registry",
         Replaced(m_healthy, "NAME2=TIVORA", "NAME2=\r\nNAME3=ZORBEX"),
         3,
         {kNotOffered +
              "no entry of [BVS] that readers see names it (they see: XRAY). Install the product "
              "again.",
          "NOT CHECKED: What installing the product again would change in " + kIni +
              " cannot be told: the registration cannot run as the registry names the "
              "installation now (the registry names no installation directory). Installing the "
              "product again is the remedy.",
          "PROBLEM: tvdds.exe cannot start: it shows \"ERROR: Application path is empty, can't "
          "load configuration\". Install the product again."},
         Also::EmptyBaseAppPath},
        // Wine's profile API skips the mark; Windows readers do not.
        {"a UTF-8 byte-order mark",
         "\xEF\xBB\xBF" + m_healthy,
         1,
         {kOffered,
          "PROBLEM: " + kIni +
              " starts with a UTF-8 byte-order mark: Windows readers then do not see its first "
              "section header. Save it again as ANSI text (without the three bytes EF BB BF).",
          kNoChange}},
        // Wine's reader skips the mark and finds the list, so the product is
        // offered here; the plan's second [BVS] would hide it once the mark
        // is gone.
        {"a UTF-8 byte-order mark before the list's header",
         "\xEF\xBB\xBF" + Without(m_healthy, "; practice machine\r\n"),
         1,
         {kOffered,
          "PROBLEM: " + kIni +
              " starts with a UTF-8 byte-order mark: Windows readers then do not see its first "
              "section header. Save it again as ANSI text (without the three bytes EF BB BF)."}},
        // Fault guarded against: a mark that hid [TIVORA] was not taken for
        // the reason, and installing again was offered, which would write a
        // second [TIVORA] section.
        {"a UTF-8 byte-order mark before the product's header",
         "\xEF\xBB\xBF" + productFirst,
         1,
         {kOffered,
          "PROBLEM: " + kIni +
              " starts with a UTF-8 byte-order mark: Windows readers then do not see its first "
              "section header. Save it again as ANSI text (without the three bytes EF BB BF)."}},
        // Fault guarded against: a mark before any other header was taken
        // for the reason, and the lines installing again writes were not
        // shown. Windows readers miss only [XRAY], as the pass's rules do.
        {"a UTF-8 byte-order mark before another section's header",
         "\xEF\xBB\xBF" +
             Replaced(Without(m_healthy, "; practice machine\r\n"),
                      "[BVS]\r\nNAME1=XRAY\r\nNAME2=TIVORA\r\n\r\n[XRAY]\r\nNAME=X-Ray\r\n",
                      "[XRAY]\r\nNAME=X-Ray\r\n[BVS]\r\nNAME1=XRAY\r\n"),
         1,
         {kNotOffered + "no entry of [BVS] that readers see names it (they see: XRAY)." +
              kChangesBelow,
          "PROBLEM: " + kIni +
              " starts with a UTF-8 byte-order mark: Windows readers then do not see its first "
              "section header. Save it again as ANSI text (without the three bytes EF BB BF).",
          "PROBLEM: A line is missing before line 5 of " + kIni +
              ". Install the product again: it writes NAME2=TIVORA there.",
          "PROBLEM: NAME1=XRAY in [BVS] names a section that does not exist: the practice "
          "software offers an imaging system it cannot call. Install that system again, or ask "
          "its vendor."}},
        // Wine's reader reads UTF-16BE text, which Windows reads as ANSI bytes.
        {"UTF-16BE text",
         Utf16Be(m_healthy),
         1,
         {kOffered, "PROBLEM: Installing the product again cannot register Tivora in " + kIni +
                        ": the file is UTF-16BE text (it starts with the bytes FE FF), which "
                        "Windows reads as ANSI bytes, so that no program finds its entries; "
                        "restore the file from its newest backup, " +
                        NewestBackup() +
                        ", or save it again as ANSI text or as UTF-16LE (\"Unicode\")."}},
        {"UTF-16LE text",
         Utf16Le(m_healthy),
         0,
         {kOffered,
          "NOTE: " + kIni +
              " is UTF-16LE text (\"Unicode\"), which Windows reads and keeps as such; Tivora "
              "reads and writes it as such too.",
          kNoChange}},
    };
    const std::string ini = Prefix().UnixPath(kIni);
    for (const auto& c : cases)
    {
        ASSERT_NE(m_healthy, c.file) << c.what;
        WriteIni(c.file);
        const fs::perms writable = fs::status(ini).permissions();
        if (c.also == Also::ReadOnlyFile)
            fs::permissions(
                ini, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
        if (c.also == Also::EmptyBaseAppPath)
            SetValue("BaseAppPath", "");
        const CheckRun run = RunCheck();
        if (c.also == Also::ReadOnlyFile)
            fs::permissions(ini, writable);
        if (c.also == Also::EmptyBaseAppPath)
            SetValue("BaseAppPath", kSetupDir);
        ExpectFound(run, c.exitCode, c.found, c.what);
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
    ASSERT_EQ(5u, run.lines.size());
    const std::string start = "PROBLEM: " + copy + " is a per-user copy (VirtualStore, changed ";
    const std::string end = "; it does not list Tivora) that programs of this user read instead "
                            "of the shared file. Delete it, so that they read the shared file "
                            "again.";
    EXPECT_EQ((std::vector<std::string>{kHeading, kOffered, kNoChange}),
              std::vector<std::string>(run.lines.begin(), run.lines.begin() + 3));
    EXPECT_EQ(0u, run.lines[3].find(start)) << run.lines[3];
    EXPECT_EQ(run.lines[3].size() - end.size(), run.lines[3].rfind(end)) << run.lines[3];
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
    ExpectFound(otherView, 1,
                {kOffered, kNoChange,
                 "PROBLEM: VddsIniWritten is not 1: the product was not registered in "
                 "vdds_mmi.ini yet, or its last registration failed. Run \"tvdds.exe "
                 "initsetup\" as an administrator, or install the product again, and read its "
                 "message.",
                 std::string("PROBLEM: VddsIniWritten is set only in the ") +
                     (is32Bit ? "64" : "32") + "-bit registry view, which the installed " +
                     (is32Bit ? "32" : "64") +
                     "-bit program does not read: an installer for the other kind of Windows "
                     "program was used. Uninstall it and install the matching one."},
                "only in the other view");

    // The program's start-up refuses the relative path, and the pass would.
    SetValue("BaseAppPath", "Tivora");
    const CheckRun relative = RunCheck();
    SetValue("BaseAppPath", kSetupDir);
    ExpectFound(relative, 3,
                {"PROBLEM: The practice software offers Tivora on this computer and calls " +
                     kProgram +
                     ", but it cannot start: it shows \"ERROR: Application path does not exist, "
                     "can't load configuration\". Install the product again.",
                 "NOT CHECKED: What installing the product again would change in " + kIni +
                     " cannot be told: the registration cannot run as the registry names the "
                     "installation now (the installation directory in the registry is not an "
                     "absolute path). Installing the product again is the remedy."},
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
