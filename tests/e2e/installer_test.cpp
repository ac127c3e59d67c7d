#include <sys/wait.h>

#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "e2e_fixture.h"

namespace fs = std::filesystem;

namespace
{

class Installer : public InstallerFixture
{
protected:
    // Runs the quiet uninstall, logging to `log` (removed before), while
    // another process holds the installed file `held` open for `heldMs`
    // milliseconds, and waits for that process too.
    BoxRun UninstallQuietlyWhileHeld(const std::string& held, int heldMs, const std::string& log)
    {
        fs::remove(Prefix().UnixPath(log));
        const std::string record = Prefix().Root() + "/holder.txt";
        const pid_t holder =
            StartProbe("hold", kSetupDir + "\\" + held + "|" + std::to_string(heldMs), record);
        EXPECT_EQ("held", ReadAll(record));
        const BoxRun run =
            RunWatched(Prefix(), UninstallValue("QuietUninstallString"), {{"TVDDS_LOG", log}});
        waitpid(holder, nullptr, 0);
        return run;
    }
};

// The flags of a PE file's optional header that say how Windows loads it.
struct LoadFlags
{
    bool is64Bit = false;
    unsigned dllCharacteristics = 0;
};

LoadFlags ReadLoadFlags(const fs::path& file)
{
    const std::string bytes = ReadAll(file.string());
    const auto number = [&](size_t at, size_t size)
    {
        unsigned value = 0;
        for (size_t i = size; i-- > 0;)
            value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
        return value;
    };
    const size_t peHeader = number(0x3C, 4);
    if (bytes.compare(peHeader, 4, std::string("PE\0\0", 4)) != 0)
        return {};
    // The optional header follows the 20 bytes of the file header; the field
    // sits at the same offset in both of its formats.
    const size_t optionalHeader = peHeader + 24;
    return {number(optionalHeader, 2) == 0x20B, number(optionalHeader + 70, 2)};
}

// The lines an uninstall or install run wrote to `log` after its first one
// (the start with its command line).
std::vector<std::string> LoggedAfterStart(const std::string& log)
{
    std::vector<std::string> lines;
    std::stringstream text(ReadAll(log));
    std::string line;
    std::getline(text, line);
    while (std::getline(text, line))
        lines.push_back(line.substr(0, line.size() - 1));
    return lines;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Installer, kBuilds, BuildName);

TEST_P(Installer, SilentInstallRegistersStartsClientAndUninstallRemovesOnlyTheRegistration)
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
    EXPECT_LT(0, std::stoi("0" + UninstallValue("EstimatedSize")));
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

    ASSERT_TRUE(UninstallQuietly());
    EXPECT_NE(0, Prefix().Reg({"query", kKey}));
    EXPECT_EQ(kOtherVendors, Ini()) << "other vendors live in the file too";
    EXPECT_EQ("NAME1\tXRAY\nXRAY\t\n", ListAsReadersSeeIt());
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
    EXPECT_TRUE(UninstallQuietly());
}

TEST_P(Installer, ReinstallEntersALostListEntryAgainWithoutASecondSection)
{
    WriteIni(kOtherVendors);
    ASSERT_EQ(0, InstallSilently().exitCode);
    const std::string registered = Ini();
    // Another vendor's set-up rewrote the list without the product's entry.
    std::string lost = registered;
    const std::string entry = "NAME2=TIVORA\r\n";
    ASSERT_NE(std::string::npos, lost.find(entry));
    WriteIni(lost.erase(lost.find(entry), entry.size()));

    const BoxRun repair = InstallSilently();
    EXPECT_EQ(0, repair.exitCode);
    EXPECT_TRUE(repair.boxes.empty());
    EXPECT_EQ(registered, Ini());
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
    EXPECT_TRUE(UninstallQuietly());
}

TEST_P(Installer, EveryShippedProgramIsTerminalServerAwareWithDataExecutionPreventionAndAslr)
{
    const unsigned terminalServerAware = 0x8000, nxCompat = 0x100, dynamicBase = 0x40,
                   highEntropyVa = 0x20;
    ASSERT_EQ(0, InstallSilently().exitCode);
    for (const fs::path& program :
         {fs::path(CurrentBuild().dir + "/tvdds.exe"),
          fs::path(CurrentBuild().dir + "/tvdds-check.exe"),
          fs::path(Prefix().UnixPath("C:\\harness\\setup.exe")), Installed("tvdds.exe"),
          Installed("tvdds-check.exe"), Installed("uninstall.exe"),
          fs::path(CurrentBuild().dir + "/nsis-plugins/tvddstrust.dll")})
    {
        const LoadFlags flags = ReadLoadFlags(program);
        const unsigned expected =
            terminalServerAware | nxCompat | dynamicBase | (flags.is64Bit ? highEntropyVa : 0);
        EXPECT_EQ(CurrentBuild().name == "win64", flags.is64Bit) << program;
        EXPECT_EQ(expected, flags.dllCharacteristics & expected) << program;
    }
    EXPECT_TRUE(UninstallQuietly());
}

// Fault guarded against: an unattended install waited forever for a box
// nobody could see, and a failed registration still ended with exit code 0.
TEST_P(Installer, UnattendedInstallThePassRefusesShowsNothingAndEndsWith1603)
{
    const std::string withNul("[BVS]\r\nNAME1=A\0B\r\n", 17);
    const std::string nulReason = ": line 2 holds a NUL byte, as a file a crash cut short does; "
                                  "restore the file from a backup.";
    WriteIni(withNul);
    // Backups an earlier test's installation left would be named in the
    // advice; this one starts without any.
    fs::remove_all(Installed(""));
    const std::string log = "C:\\setup log.txt";
    fs::remove(Prefix().UnixPath(log));
    const BoxRun refused = InstallSilently(Station::Hidden, log);
    ASSERT_FALSE(refused.timedOut);
    EXPECT_EQ(1603, refused.exitCode);
    EXPECT_TRUE(refused.boxes.empty());
    EXPECT_EQ(std::vector<std::string>{"error\tTivora was not registered in " + kIni + nulReason +
                                       " The file was left unchanged; the registration will be "
                                       "tried again at the next start."},
              refused.events);
    EXPECT_TRUE(fs::exists(Installed("tvdds.exe")));
    EXPECT_NE("1", RegValue("VddsIniWritten"));
    EXPECT_EQ(withNul, Ini());

    WriteIni(kOtherVendors);
    const BoxRun mended = InstallSilently(Station::Hidden);
    EXPECT_EQ(0, mended.exitCode);
    EXPECT_TRUE(mended.boxes.empty());
    EXPECT_TRUE(mended.events.empty());
    EXPECT_NE(std::string::npos, Ini().find("NAME2=TIVORA\r\n"));
    EXPECT_EQ("1", RegValue("VddsIniWritten"));

    // Fault guarded against: an uninstall that could not remove the
    // registration still removed the program it calls, the settings and the
    // uninstall entry. It says so once and leaves the installation whole.
    const std::string mendedIni = Ini();
    const std::string damaged = mendedIni + std::string("X=\0\r\n", 5);
    WriteIni(damaged);
    // The mended install's backup is the one to restore.
    std::vector<std::string> backups;
    for (const auto& entry : fs::directory_iterator(Installed("")))
        if (entry.path().extension() == ".bak")
            backups.push_back(entry.path().filename().string());
    ASSERT_EQ(1u, backups.size());
    const std::string removalReason =
        ": line 14 holds a NUL byte, as a file a crash cut short does; restore the file from its "
        "newest backup, " +
        kSetupDir + "\\" + backups[0] + ". The file was left unchanged.";
    const BoxRun uninstall = RunWatched(Prefix(), UninstallValue("QuietUninstallString"),
                                        {{"TVDDS_LOG", log}}, Station::Hidden);
    ASSERT_FALSE(uninstall.timedOut);
    EXPECT_EQ(1603, uninstall.exitCode);
    EXPECT_TRUE(uninstall.boxes.empty());
    EXPECT_EQ(
        std::vector<std::string>{"error\tTivora could not be removed from " + kIni + removalReason},
        uninstall.events);
    EXPECT_EQ(damaged, Ini());
    for (const char* file :
         {"tvdds.exe", "tvdds-check.exe", "uninstall.exe", "lang\\de\\LC_MESSAGES\\tvdds.mo"})
        EXPECT_TRUE(fs::exists(Installed(file))) << file;
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
    EXPECT_EQ(kSetupDir, UninstallValue("InstallLocation"));

    // Each step of the refused install and of the quiet uninstall, the
    // program's own report among them, in one log.
    std::vector<std::string> logged;
    std::stringstream text(ReadAll(Prefix().UnixPath(log)));
    for (std::string line; std::getline(text, line);)
        logged.push_back(line.substr(0, line.find(" started: ") != std::string::npos
                                            ? line.find(" started: ") + 9
                                            : line.size() - 1));
    const std::string started = "Tivora " TVDDS_VERSION " (" +
                                std::string(CurrentBuild().name == "win32" ? "x86" : "amd64") +
                                ") ";
    EXPECT_EQ(
        (std::vector<std::string>{
            started + "setup started:",
            "files written to " + kSetupDir + " and C:\\ProgramData\\Tivora\\conf",
            "registry values BaseAppPath=" + kSetupDir + ", BaseDataPath=C:\\ProgramData\\Tivora",
            "uninstall entry and event source written; running tvdds.exe initsetup",
            "tvdds: Tivora was not registered in " + kIni + nulReason +
                " The file was left unchanged; the registration will be tried again at the "
                "next start.",
            "tvdds.exe initsetup ended with 1", "exit code 1603", started + "uninstall started:",
            "tvdds: Tivora could not be removed from " + kIni + removalReason,
            "tvdds.exe removesetup ended with 1",
            "the registration could not be removed; the installation stays, with the uninstaller "
            "and the settings",
            "exit code 1603"}),
        logged);
    WriteIni(mendedIni);
    EXPECT_TRUE(UninstallQuietly());
}

TEST_P(Installer, FirstPageSpeaksTheUsersLanguage)
{
    const struct
    {
        const char* locale;
        const char* title;
        const char* welcome;
    } cases[] = {
        {"de_DE.UTF-8", "Installation von Tivora VDDS starter",
         "Willkommen zur Installation\\nvon Tivora VDDS starter"},
        {"de_AT.UTF-8", "Installation von Tivora VDDS starter",
         "Willkommen zur Installation\\nvon Tivora VDDS starter"},
        {"en_GB.UTF-8", "Tivora VDDS starter Setup", "Welcome to Tivora VDDS starter Setup"},
        {"fr_FR.UTF-8", "Tivora VDDS starter Setup", "Welcome to Tivora VDDS starter Setup"},
    };
    for (const auto& c : cases)
    {
        const BoxRun run = RunWatched(Prefix(), "C:\\harness\\setup.exe", {{"LC_ALL", c.locale}},
                                      Station::Visible, Answer::Cancel);
        ASSERT_FALSE(run.timedOut) << c.locale;
        ASSERT_EQ(1u, run.boxes.size()) << c.locale;
        EXPECT_EQ(c.title, run.boxes[0].caption) << c.locale;
        EXPECT_NE(std::string::npos, run.boxes[0].text.find(c.welcome))
            << c.locale << ": " << run.boxes[0].text;
        EXPECT_FALSE(fs::exists(Installed("tvdds.exe"))) << c.locale;
    }
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
    std::string check = program;
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"Tivora VDDS starter", "Tivora support check"},
          {"\ttvdds\n", "\ttvdds-check\n"},
          {"tvdds.exe", "tvdds-check.exe"}})
        check.replace(check.find(from), from.size(), to);
    EXPECT_EQ(check, Probe("version", kSetupDir + "\\tvdds-check.exe"));
    const std::string setup = Probe("version", "C:\\harness\\setup.exe");
    for (const std::string& line :
         {std::string("ProductName\tTivora\n"), std::string("CompanyName\tHalvorin\n"),
          "ProductVersion\t" + v + "\n", "fixed\t" + v + ".0\n"})
        EXPECT_NE(std::string::npos, setup.find(line)) << setup;
    EXPECT_TRUE(UninstallQuietly());
}

// Fault guarded against: an installation moved to another directory left
// the practice software calling the old program. One installation at a
// time: an earlier one in another directory, or of the other build (32-bit
// or x86_64), is removed with its uninstall entry and settings, and the
// registration calls the new program.
TEST_P(Installer, AnEarlierInstallationElsewhereIsReplacedAndTheRegistrationMoves)
{
    const std::string entry =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TivoraVdds|";
    const std::string ownView = CurrentBuild().regView == "/reg:32" ? "reg32" : "reg64";
    struct Earlier
    {
        std::string setup;
        std::string dir;
        std::string view;
    };
    std::vector<Earlier> cases{{"C:\\harness\\setup.exe", "C:\\Praxis\\Tivora Alt", ownView}};
    for (const WindowsBuild& other : WindowsBuilds())
    {
        if (other.name != CurrentBuild().name && CanRun(other))
            cases.push_back({WinePrefix::WindowsPath(other.dir + "/" + other.installer),
                             "C:\\Praxis\\Tivora " + other.name,
                             other.regView == "/reg:32" ? "reg32" : "reg64"});
    }
    const std::string later = "NAME3 = CEREC\r\n";
    const std::string cerec = "[CEREC]\r\nPATDATIMPORT=C:\\Cerec\\c.exe\r\n";
    for (const Earlier& c : cases)
    {
        WriteIni(kOtherVendors);
        const BoxRun first = RunWatched(Prefix(), c.setup + " /S /D=" + c.dir);
        ASSERT_EQ(0, first.exitCode) << c.dir;
        ASSERT_EQ(c.dir, Probe(c.view, entry + "InstallLocation")) << c.dir;
        // Fault guarded against: the earlier uninstaller took the product out
        // and numbered the vendor after it down; the product came back last.
        std::string registered = Ini();
        registered.insert(registered.find("NAME2=TIVORA\r\n") + 14, later);
        WriteIni(registered += cerec);

        const BoxRun replaced = InstallSilently();
        EXPECT_EQ(0, replaced.exitCode) << c.dir;
        EXPECT_TRUE(replaced.boxes.empty()) << c.dir;
        EXPECT_FALSE(fs::exists(Prefix().UnixPath(c.dir + "\\tvdds.exe"))) << c.dir;
        EXPECT_EQ(kSetupDir, RegValue("BaseAppPath")) << c.dir;
        if (c.view != ownView)
        {
            EXPECT_EQ("", Probe(c.view, entry + "DisplayName")) << c.dir;
            EXPECT_EQ("", Probe(c.view, "BaseAppPath")) << c.dir;
        }
        EXPECT_EQ(kSetupDir, Probe(ownView, entry + "InstallLocation")) << c.dir;
        const size_t path = registered.find(c.dir + "\\tvdds.exe");
        EXPECT_EQ(registered.replace(path, c.dir.size(), kSetupDir), Ini()) << c.dir;
        EXPECT_EQ(0u, ListAsReadersSeeIt().find("NAME1\tXRAY\nNAME2\tTIVORA\nNAME3\tCEREC\n"))
            << c.dir;
        EXPECT_TRUE(UninstallQuietly()) << c.dir;
        EXPECT_EQ(kOtherVendors.substr(0, kOtherVendors.find("\r\n\r\n") + 2) +
                      "NAME2 = CEREC\r\n" +
                      kOtherVendors.substr(kOtherVendors.find("\r\n\r\n") + 2) + cerec,
                  Ini())
            << c.dir;
    }
}

// Fault guarded against: the installation directory got this build's
// rights before the other build's installation in it was judged: refused
// (its uninstaller others may write, which this install would write anew),
// it was left with a directory the install had changed.
TEST_P(Installer, TheOtherBuildsInstallationInTheDirectoryIsJudgedBeforeTheDirectoryChanges)
{
    std::optional<WindowsBuild> other;
    for (const WindowsBuild& build : WindowsBuilds())
        if (build.name != CurrentBuild().name && CanRun(build))
            other = build;
    if (!other)
        GTEST_SKIP() << "the other build cannot run here";
    WriteIni(kOtherVendors);
    const std::string otherSetup = WinePrefix::WindowsPath(other->dir + "/" + other->installer);
    ASSERT_EQ(0, RunWatched(Prefix(), otherSetup + " /S /D=" + kSetupDir).exitCode);
    const std::string registered = Ini();
    const fs::path uninstaller = Installed("uninstall.exe");
    const fs::path aside = Prefix().UnixPath(kSetupDir + " uninstall.exe");
    fs::copy_file(uninstaller, aside);
    fs::remove(uninstaller);
    fs::copy_file(aside, uninstaller);
    fs::permissions(uninstaller, fs::perms(0666));
    // Others may not change the directory, so it would pass; only this
    // build's rights would let the users read it.
    fs::permissions(Installed(""), fs::perms::owner_all);

    const std::string log = "C:\\other build.log";
    fs::remove(Prefix().UnixPath(log));
    const BoxRun refused = InstallSilently(Station::Visible, log);
    EXPECT_EQ(1627, refused.exitCode);
    EXPECT_TRUE(refused.boxes.empty());
    EXPECT_EQ((std::vector<std::string>{
                  "the earlier installation in " + kSetupDir +
                      " could have been changed by others (changeable: " + kSetupDir +
                      "\\uninstall.exe); its uninstaller was not run; "
                      "nothing installed",
                  "exit code 1627"}),
              LoggedAfterStart(Prefix().UnixPath(log)));
    EXPECT_EQ(fs::perms::owner_all, fs::status(Installed("")).permissions()) << "unchanged";
    EXPECT_EQ(registered, Ini());

    fs::permissions(Installed(""), fs::perms(0755));
    fs::permissions(uninstaller, fs::perms(0755));
    fs::remove(aside);
    // Once the other build's installation is removed, vdds_mmi.ini calls the
    // program this install writes there. Fault guarded against: a file that
    // could not be replaced then made the install, or its next attempt
    // (which finds no uninstall entry), delete that program again.
    const std::string record = Prefix().Root() + "/holder.txt";
    const pid_t holder = StartProbe("hold", kSetupDir + "\\tvdds-check.exe|40000", record);
    ASSERT_EQ("held", ReadAll(record));
    for (const char* attempt : {"first", "next"})
    {
        fs::remove(Prefix().UnixPath(log));
        const BoxRun stopped = InstallSilently(Station::Visible, log);
        EXPECT_EQ(1603, stopped.exitCode) << attempt;
        EXPECT_TRUE(stopped.boxes.empty()) << attempt;
        EXPECT_NE(std::string::npos,
                  ReadAll(Prefix().UnixPath(log))
                      .find(kSetupDir + "\\tvdds-check.exe could not be removed before it is "
                                        "written; the installation in " +
                            kSetupDir +
                            " is not complete, and vdds_mmi.ini still calls its program"))
            << attempt << ": " << ReadAll(Prefix().UnixPath(log));
        EXPECT_TRUE(fs::exists(Installed("tvdds.exe"))) << attempt;
        EXPECT_EQ(registered, Ini()) << attempt;
    }
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(0, InstallSilently().exitCode) << "the other build's installation is replaced";
    EXPECT_TRUE(UninstallQuietly());
    EXPECT_EQ(kOtherVendors, Ini());
}

// Fault guarded against: an earlier installation whose uninstaller failed
// was deleted anyway, and the new one reported success.
TEST_P(Installer, AnEarlierInstallationThatStaysKeepsItsUninstallerAndNothingIsInstalled)
{
    const std::string earlier = "C:\\Praxis\\Tivora Alt";
    const std::string registered = InstallOverOtherVendors(earlier);
    ASSERT_FALSE(HasFailure());
    const std::string record = Prefix().Root() + "/holder.txt";
    const pid_t holder = StartProbe("hold", earlier + "\\tvdds.exe|4000", record);
    ASSERT_EQ("held", ReadAll(record));

    const BoxRun refused = InstallSilently();
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(1627, refused.exitCode);
    EXPECT_TRUE(refused.boxes.empty());
    EXPECT_FALSE(fs::exists(Installed("tvdds.exe"))) << "nothing installed";
    EXPECT_TRUE(fs::exists(Prefix().UnixPath(earlier + "\\uninstall.exe")));
    EXPECT_EQ(registered, Ini());

    // Fault guarded against: the earlier uninstaller ran elevated from a
    // directory every user may change. Everyone may modify it now, as an
    // administrator might have allowed by hand: it is not run.
    const std::string adminsOnly = "(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    Probe("protect", earlier + "|D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;WD)");
    ASSERT_TRUE(EveryoneMayReadAndWrite(earlier));
    const std::string log = "C:\\setup.log";
    const BoxRun notRun = InstallSilently(Station::Visible, log);
    EXPECT_EQ(1627, notRun.exitCode);
    EXPECT_TRUE(notRun.boxes.empty());
    EXPECT_FALSE(fs::exists(Installed("tvdds.exe"))) << "nothing installed";
    EXPECT_TRUE(fs::exists(Prefix().UnixPath(earlier + "\\tvdds.exe"))) << "its uninstaller ran";
    EXPECT_NE(std::string::npos,
              ReadAll(Prefix().UnixPath(log))
                  .find("the earlier installation in " + earlier +
                        " could have been changed by others (changeable: " + earlier +
                        "); its uninstaller was not run; nothing installed\r\nexit code "
                        "1627\r\n"));
    EXPECT_EQ(registered, Ini());
    Probe("protect", earlier + "|D:P" + adminsOnly);

    // Fault guarded against: a link at the earlier installation's path was
    // followed to whatever uninstall.exe it named, which then ran elevated.
    const fs::path real = Prefix().UnixPath(earlier + " real");
    fs::rename(Prefix().UnixPath(earlier), real);
    fs::create_directory_symlink(real, Prefix().UnixPath(earlier));
    const BoxRun linked = InstallSilently();
    EXPECT_EQ(1627, linked.exitCode);
    EXPECT_TRUE(linked.boxes.empty());
    EXPECT_TRUE(fs::exists(real / "tvdds.exe")) << "its uninstaller ran";
    fs::remove(Prefix().UnixPath(earlier));
    fs::rename(real, Prefix().UnixPath(earlier));

    // Fault guarded against: the earlier installation was removed before the
    // new files were written; when one could not be, the registration called
    // a program that was gone, and the exit code said "installed". A folder
    // in place of the support check keeps it from being written anew.
    fs::create_directories(Installed("tvdds-check.exe"));
    // An install that could not write its files ends with 1603, no box and
    // the line it logged, and leaves the earlier installation registered.
    const auto expectStoppedKeepingTheEarlier = [&](const std::string& logged)
    {
        fs::remove(Prefix().UnixPath(log));
        const BoxRun stopped = InstallSilently(Station::Visible, log);
        EXPECT_EQ(1603, stopped.exitCode);
        EXPECT_TRUE(stopped.boxes.empty());
        EXPECT_TRUE(fs::exists(Prefix().UnixPath(earlier + "\\tvdds.exe")))
            << "its uninstaller ran";
        EXPECT_FALSE(fs::exists(Installed("tvdds.exe"))) << "what was written goes again";
        EXPECT_EQ(registered, Ini());
        EXPECT_NE(std::string::npos,
                  ReadAll(Prefix().UnixPath(log))
                      .find(kSetupDir + logged +
                            "; not installed completely, not registered\r\nexit code 1603\r\n"))
            << ReadAll(Prefix().UnixPath(log));
    };
    expectStoppedKeepingTheEarlier("\\tvdds-check.exe could not be removed before it is written");
    EXPECT_EQ(earlier, UninstallValue("InstallLocation"));
    EXPECT_EQ("NAME1\tXRAY\nNAME2\tTIVORA\nXRAY\t\nTIVORA\t" + earlier + "\\tvdds.exe\n",
              ListAsReadersSeeIt());
    fs::remove_all(Installed(""));

    // Fault guarded against: a file that could not be written was skipped
    // where the install is silent, and the install ended with 0. A file in
    // place of the catalog folder keeps the catalog from being written.
    fs::create_directories(Installed(""));
    std::ofstream(Installed("lang")) << "in the way";
    expectStoppedKeepingTheEarlier("\\lang\\de\\LC_MESSAGES\\tvdds.mo could not be written");
    fs::remove_all(Installed(""));

    // Fault guarded against: only the earlier directory and its uninstaller
    // were looked at, not what else it holds, nor whether its program is
    // there: the uninstaller another product left in a shared directory ran
    // elevated.
    const fs::path planted = Prefix().UnixPath(earlier + "\\version.dll");
    const fs::path program = Prefix().UnixPath(earlier + "\\tvdds.exe");
    const fs::path aside = Prefix().UnixPath(earlier + " tvdds.exe");
    const struct
    {
        std::string what;
        std::function<void()> prepare;
        std::function<void()> undo;
        std::string logged;
    } notRunCases[] = {
        {"a DLL others may write",
         [&]
         {
             std::ofstream(planted) << "planted";
             fs::permissions(planted, fs::perms(0666));
         },
         [&] { fs::remove(planted); },
         "could have been changed by others (changeable: " + earlier + "\\version.dll)"},
        {"no program beside the uninstaller", [&] { fs::rename(program, aside); },
         [&] { fs::rename(aside, program); }, "lacks " + earlier + "\\tvdds.exe"},
    };
    for (const auto& c : notRunCases)
    {
        c.prepare();
        fs::remove(Prefix().UnixPath(log));
        const BoxRun refusedEarlier = InstallSilently(Station::Visible, log);
        EXPECT_EQ(1627, refusedEarlier.exitCode) << c.what;
        EXPECT_TRUE(refusedEarlier.boxes.empty()) << c.what;
        EXPECT_FALSE(fs::exists(Installed("tvdds.exe"))) << c.what << ": nothing installed";
        EXPECT_TRUE(fs::exists(Prefix().UnixPath(earlier + "\\uninstall.exe"))) << c.what;
        EXPECT_EQ(earlier, UninstallValue("InstallLocation")) << c.what << ": not run";
        EXPECT_NE(std::string::npos,
                  ReadAll(Prefix().UnixPath(log))
                      .find("the earlier installation in " + earlier + " " + c.logged +
                            "; its uninstaller was not run; nothing installed\r\nexit code "
                            "1627\r\n"))
            << c.what << ": " << ReadAll(Prefix().UnixPath(log));
        EXPECT_EQ(registered, Ini()) << c.what;
        c.undo();
    }

    const BoxRun cleanUp =
        RunWatched(Prefix(), "\"" + earlier + "\\uninstall.exe\" /S _?=" + earlier);
    EXPECT_EQ(0, cleanUp.exitCode);
    EXPECT_EQ(kOtherVendors, Ini());
}

// Uninstalling keeps every other vendor's line byte for byte and numbers the
// list down, so that readers still find the vendors after the product, and
// keeps the file's rights.
TEST_P(Installer, UninstallKeepsTheVendorsBeforeAndAfterTheProductVisible)
{
    WriteIni(kOtherVendors);
    ASSERT_EQ(0, InstallSilently().exitCode);
    std::string withLater = Ini();
    withLater.insert(withLater.find("NAME2=TIVORA\r\n") + 14, "NAME3 = R\xD6NTGEN\r\n");
    withLater += "\r\n[R\xD6NTGEN]\r\nNAME=R\xF6ntgen\r\nPATDATIMPORT=C:\\R\\r.exe\r\n";
    WriteIni(withLater);
    ASSERT_TRUE(EveryoneMayReadAndWrite(kIni));

    ASSERT_TRUE(UninstallQuietly());
    // Fault guarded against: the replaced file had the Windows directory's
    // default rights, and standard users could no longer write it.
    EXPECT_TRUE(EveryoneMayReadAndWrite(kIni)) << Probe("acl", kIni);
    EXPECT_EQ("; practice machine\r\n[BVS]\r\nNAME1=XRAY\r\nNAME2 = R\xD6NTGEN\r\n\r\n[XRAY]\r\n"
              "NAME=X-Ray\r\n\r\n[R\xD6NTGEN]\r\nNAME=R\xF6ntgen\r\nPATDATIMPORT=C:\\R\\r.exe\r\n",
              Ini());
    EXPECT_EQ("NAME1\tXRAY\nNAME2\tR\xC3\x96NTGEN\nXRAY\t\nR\xC3\x96NTGEN\tC:\\R\\r.exe\n",
              ListAsReadersSeeIt());
}

TEST_P(Installer, AnOlderVersionNeverReplacesANewerOne)
{
    WriteIni(kOtherVendors);
    ASSERT_EQ(0, InstallSilently().exitCode);
    const std::string registered = Ini();
    const std::string uninstallKey =
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TivoraVdds";
    ASSERT_EQ(0, Prefix().Reg({"add", uninstallKey, "/v", "DisplayVersion", "/d", "99.0.0", "/f"}));
    fs::remove(Installed("tvdds-check.exe"));

    const BoxRun refused = InstallSilently();
    EXPECT_EQ(1638, refused.exitCode);
    EXPECT_TRUE(refused.boxes.empty());
    EXPECT_FALSE(fs::exists(Installed("tvdds-check.exe"))) << "nothing installed";
    EXPECT_EQ(registered, Ini());

    ASSERT_EQ(
        0, Prefix().Reg({"add", uninstallKey, "/v", "DisplayVersion", "/d", TVDDS_VERSION, "/f"}));
    EXPECT_EQ(0, InstallSilently().exitCode) << "the same version repairs";
    EXPECT_TRUE(fs::exists(Installed("tvdds-check.exe")));

    // Fault guarded against: with an installation in this build's view, a
    // newer one of the other build was not looked at.
    const std::string otherView = CurrentBuild().regView == "/reg:32" ? "/reg:64" : "/reg:32";
    ASSERT_EQ(0, Prefix().Wine({"reg", "add", uninstallKey, "/v", "DisplayVersion", "/d", "99.0.0",
                                "/f", otherView}));
    fs::remove(Installed("tvdds-check.exe"));
    EXPECT_EQ(1638, InstallSilently().exitCode);
    EXPECT_FALSE(fs::exists(Installed("tvdds-check.exe"))) << "nothing installed";
    ASSERT_EQ(0, Prefix().Wine({"reg", "delete", uninstallKey, "/f", otherView}));
    EXPECT_EQ(0, InstallSilently().exitCode);
    EXPECT_TRUE(UninstallQuietly());
}

// Fault guarded against: a user who created the installation directory, or
// one above it, and put a DLL into it had it loaded by the elevated
// program; files others could write stayed writable; a directory that was
// refused kept the installer's rights; a catalog folder and backups were
// taken for ours by their names. Wine gives every file the installing
// account as owner and maps access lists to mode bits: "others may change"
// is the bit o+w here (the descriptor table covers owners).
TEST_P(Installer, AnExistingDirectoryIsUsedOnlyWhenNobodyElseCanChangeIt)
{
    const std::string dir = "C:\\Praxis\\Tivora Bridge";
    const fs::path unixDir = Prefix().UnixPath(dir);
    fs::create_directories(unixDir.parent_path());
    fs::permissions(unixDir.parent_path(), fs::perms::owner_all, fs::perm_options::add);
    const auto plant = [&](const std::string& name, fs::perms perms)
    {
        fs::create_directories((unixDir / name).parent_path());
        std::ofstream(unixDir / name) << "planted";
        fs::permissions(unixDir / name, perms);
    };
    const auto removeAll = [&](const std::string& path)
    {
        const fs::path tree = Prefix().UnixPath(path);
        if (!fs::exists(tree))
            return;
        fs::permissions(tree, fs::perms::owner_all, fs::perm_options::add);
        for (const auto& entry : fs::recursive_directory_iterator(tree))
            if (!entry.is_symlink())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(tree);
    };
    const std::string tooDeep = "\\1\\2\\3\\4\\5\\6\\7\\8\\9\\10\\11\\12\\13\\14\\15\\16\\17";
    const std::string backup = "vdds_mmi_2026-01-05_10-00-00.bak";
    const struct
    {
        std::string what;
        std::function<void()> prepare;
        std::string installDir;
        int exitCode;
        std::string logged;
    } cases[] = {
        {"a DLL others may write", [&] { plant("version.dll", fs::perms(0666)); }, dir, 1625,
         dir + " holds " + dir +
             "\\version.dll, which others may change and which is not written anew"},
        {"a directory everyone may write into, or make a junction while it is empty",
         [&]
         {
             fs::create_directories(unixDir);
             fs::permissions(unixDir, fs::perms::all);
         },
         dir, 1625, dir + " has an owner or rights others may change"},
        {"a catalog folder others may change",
         [&]
         {
             fs::create_directories(unixDir / "lang");
             fs::permissions(unixDir / "lang", fs::perms::all);
         },
         dir, 1625,
         dir + " holds " + dir + "\\lang, which others may change and which is not written anew"},
        {"a backup others may change", [&] { plant(backup, fs::perms(0666)); }, dir, 1625,
         dir + " holds " + dir + "\\" + backup +
             ", which others may change and which is not written anew"},
        {"a tree deeper than the installer looks",
         [&] { fs::create_directories(Prefix().UnixPath(dir + tooDeep)); }, dir, 1625,
         dir + " holds " + dir + tooDeep + ", deeper than the installer looks"},
        {"a link in place of the catalog folder",
         [&]
         {
             fs::create_directories(Prefix().UnixPath("C:\\Elsewhere"));
             fs::create_directories(unixDir);
             fs::create_directory_symlink(Prefix().UnixPath("C:\\Elsewhere"), unixDir / "lang");
         },
         dir, 1625, dir + "\\lang is a link or a file with a second name"},
        {"a program with a second name",
         [&]
         {
             fs::create_directories(Prefix().UnixPath("C:\\Elsewhere"));
             plant("tvdds.exe", fs::perms(0644));
             fs::create_hard_link(unixDir / "tvdds.exe",
                                  Prefix().UnixPath("C:\\Elsewhere\\tvdds.exe"));
         },
         dir, 1625, dir + "\\tvdds.exe is a link or a file with a second name"},
        {"a directory above that others may rename",
         [&]
         {
             fs::create_directories(Prefix().UnixPath("C:\\Shared"));
             fs::permissions(Prefix().UnixPath("C:\\Shared"), fs::perms::all);
         },
         "C:\\Shared\\Tivora", 1625,
         "others may rename, delete or re-permission C:\\Shared, above C:\\Shared\\Tivora"},
        {"what an earlier installation left, its backup, and a client only administrators may "
         "change",
         [&]
         {
             for (const char* ours : {"tvdds.exe", "uninstall.exe", "lang/de/LC_MESSAGES/tvdds.mo"})
                 plant(ours, fs::perms(0666));
             plant(backup, fs::perms(0644));
             fs::copy_file(Prefix().UnixPath(kAppDir + "\\tivoracl.exe"), unixDir / "tivoracl.exe");
             fs::permissions(unixDir / "tivoracl.exe", fs::perms(0755));
         },
         dir, 0, "exit code 0"},
    };
    // Fault guarded against: the earlier installation was removed before
    // the directory was refused, and its registration called a program gone.
    const std::string earlier = "C:\\Praxis\\Tivora Alt";
    const std::string registered = InstallOverOtherVendors(earlier);
    ASSERT_FALSE(HasFailure());
    const std::string log = "C:\\directory.log";
    for (const auto& c : cases)
    {
        fs::remove(Prefix().UnixPath(log));
        c.prepare();
        const fs::path unixInstallDir = Prefix().UnixPath(c.installDir);
        const fs::perms before = fs::status(unixInstallDir).permissions();
        const BoxRun run =
            RunWatched(Prefix(), "C:\\harness\\setup.exe /S /LOG=" + log + " /D=" + c.installDir);
        EXPECT_EQ(c.exitCode, run.exitCode) << c.what;
        EXPECT_TRUE(run.boxes.empty()) << c.what;
        EXPECT_NE(std::string::npos,
                  ReadAll(Prefix().UnixPath(log))
                      .find(c.logged +
                            (c.exitCode ? "; nothing installed\r\nexit code 1625\r\n" : "\r\n")))
            << c.what << ": " << ReadAll(Prefix().UnixPath(log));
        if (c.exitCode != 0)
        {
            EXPECT_EQ(before, fs::status(unixInstallDir).permissions()) << c.what << ": unchanged";
            EXPECT_FALSE(fs::exists(unixInstallDir / "uninstall.exe")) << c.what;
            EXPECT_EQ(earlier, UninstallValue("InstallLocation")) << c.what;
            EXPECT_TRUE(fs::exists(Prefix().UnixPath(earlier + "\\tvdds.exe"))) << c.what;
            EXPECT_EQ(registered, Ini()) << c.what;
        }
        else
        {
            std::vector<fs::path> writable;
            for (const auto& entry : fs::recursive_directory_iterator(unixDir))
                if ((entry.status().permissions() & fs::perms::others_write) != fs::perms::none)
                    writable.push_back(entry.path());
            EXPECT_EQ(std::vector<fs::path>{}, writable) << c.what;
            EXPECT_EQ(fs::perms::none, fs::status(unixDir).permissions() & fs::perms::others_write);
            EXPECT_TRUE(fs::exists(unixDir / "tivoracl.exe")) << "left alone";
            EXPECT_EQ("planted", ReadAll((unixDir / backup).string())) << "kept";
            EXPECT_FALSE(fs::exists(Prefix().UnixPath(earlier + "\\tvdds.exe"))) << "replaced";
            fs::remove(unixDir / "tivoracl.exe");
            EXPECT_TRUE(UninstallQuietly(dir)) << c.what;
            EXPECT_EQ(kOtherVendors, Ini());
        }
        for (const std::string& made :
             {dir, std::string("C:\\Elsewhere"), std::string("C:\\Shared")})
            removeAll(made);
    }
}

// Fault guarded against: an uninstall while the program was in use took its
// registration, the support check and the catalog away and left the rest.
TEST_P(Installer, AnUninstallWhileTheProgramIsHeldLeavesTheInstallationWhole)
{
    const std::string registered = InstallOverOtherVendors();
    ASSERT_FALSE(HasFailure());
    const std::string log = "C:\\held.log";
    const BoxRun kept = UninstallQuietlyWhileHeld("tvdds.exe", 4000, log);
    EXPECT_EQ(1627, kept.exitCode);
    EXPECT_TRUE(kept.boxes.empty());
    const std::string logged = ReadAll(Prefix().UnixPath(log));
    EXPECT_EQ(kSetupDir + "\\tvdds.exe is in use; the installation stays, registered, with the "
                          "uninstaller and the settings\r\nexit code 1627\r\n",
              logged.substr(logged.find("\r\n") + 2))
        << "found out before anything changed";
    EXPECT_EQ(registered, Ini());
    EXPECT_EQ("NAME1\tXRAY\nNAME2\tTIVORA\nXRAY\t\nTIVORA\t" + kSetupDir + "\\tvdds.exe\n",
              ListAsReadersSeeIt());
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
    EXPECT_EQ(kSetupDir, UninstallValue("InstallLocation"));
    for (const char* file :
         {"tvdds.exe", "tvdds-check.exe", "uninstall.exe", "lang\\de\\LC_MESSAGES\\tvdds.mo"})
        EXPECT_TRUE(fs::exists(Installed(file))) << file;
    EXPECT_TRUE(UninstallQuietly());
}

// Fault guarded against: the uninstaller ran the program elevated from a
// directory that held what others could have changed (a DLL the program
// loads, say; this one the uninstaller itself would not load). Fault
// guarded against: the test whether the program is in use, which marks it
// for deletion, came first, also where others could have changed it.
TEST_P(Installer, AnUninstallRunsNothingFromAnInstallationOthersCouldHaveChanged)
{
    const std::string registered = InstallOverOtherVendors();
    ASSERT_FALSE(HasFailure());
    const fs::path planted = Installed("notes.txt");
    std::ofstream(planted) << "planted";
    fs::permissions(planted, fs::perms(0666));

    const std::string log = "C:\\changed.log";
    for (const bool held : {false, true})
    {
        fs::remove(Prefix().UnixPath(log));
        const BoxRun kept = held ? UninstallQuietlyWhileHeld("tvdds.exe", 4000, log)
                                 : RunWatched(Prefix(), UninstallValue("QuietUninstallString"),
                                              {{"TVDDS_LOG", log}});
        EXPECT_EQ(1627, kept.exitCode) << held;
        EXPECT_TRUE(kept.boxes.empty()) << held;
        const std::string logged = ReadAll(Prefix().UnixPath(log));
        EXPECT_EQ("the installation in " + kSetupDir +
                      " could have been changed by others (changeable: " + kSetupDir +
                      "\\notes.txt); tvdds.exe was not run; the installation stays, "
                      "registered\r\nexit code 1627\r\n",
                  logged.substr(logged.find("\r\n") + 2))
            << held;
        EXPECT_EQ(registered, Ini()) << held;
        EXPECT_EQ("1", RegValue("VddsIniWritten")) << held;
        EXPECT_EQ(kSetupDir, UninstallValue("InstallLocation")) << held;
        for (const char* file :
             {"tvdds.exe", "tvdds-check.exe", "uninstall.exe", "lang\\de\\LC_MESSAGES\\tvdds.mo"})
            EXPECT_TRUE(fs::exists(Installed(file))) << file << " " << held;
    }
    fs::remove(planted);
    EXPECT_TRUE(UninstallQuietly());
}

// Fault guarded against: an installation whose program was gone (a
// scanner took it) was taken for one others had changed, and could never
// be uninstalled. It runs nothing there, removes what is ours and says that
// the registration stays; installing again, then uninstalling, removes it.
TEST_P(Installer, AnInstallationWhoseProgramIsGoneIsUninstalledButItsRegistrationStays)
{
    const std::string registered = InstallOverOtherVendors();
    ASSERT_FALSE(HasFailure());
    fs::remove(Installed("tvdds.exe"));

    const std::string log = "C:\\gone.log";
    fs::remove(Prefix().UnixPath(log));
    const BoxRun removed =
        RunWatched(Prefix(), UninstallValue("QuietUninstallString"), {{"TVDDS_LOG", log}});
    EXPECT_EQ(1603, removed.exitCode);
    EXPECT_TRUE(removed.boxes.empty());
    EXPECT_EQ(
        (std::vector<std::string>{
            kSetupDir + "\\tvdds.exe is missing; nothing is run from " + kSetupDir,
            kSetupDir + "\\uninstall.exe goes once the uninstall has ended; the directory "
                        "stays, since vdds_mmi.ini still calls a program there",
            "files, registry values and uninstall entry removed; the registration in "
            "vdds_mmi.ini stays, since " +
                kSetupDir + "\\tvdds.exe was missing: install again, then uninstall, to remove it",
            "exit code 1603"}),
        LoggedAfterStart(Prefix().UnixPath(log)));
    EXPECT_EQ(registered, Ini());
    EXPECT_EQ("", UninstallValue("DisplayName"));
    EXPECT_EQ("", RegValue("BaseAppPath"));
    EXPECT_TRUE(Eventually([&] { return !fs::exists(Installed("uninstall.exe")); }, 20000, 100));
    EXPECT_FALSE(fs::exists(Installed("tvdds-check.exe")));
    // Fault guarded against: the directory went, and anybody could make it
    // again and put a program where the registration points.
    EXPECT_TRUE(fs::is_directory(Installed("")));

    EXPECT_EQ(0, InstallSilently().exitCode);
    EXPECT_TRUE(UninstallQuietly());
    EXPECT_EQ(kOtherVendors, Ini());
}

// Fault guarded against: a support file the uninstall could not delete (the
// support check still running) was reported as removed, with exit code 0.
TEST_P(Installer, AFileTheUninstallCannotRemoveIsNamedAndEndsWith1603)
{
    InstallOverOtherVendors();
    ASSERT_FALSE(HasFailure());
    const std::string log = "C:\\left.log";
    const BoxRun removed = UninstallQuietlyWhileHeld("tvdds-check.exe", 15000, log);
    EXPECT_EQ(1603, removed.exitCode);
    EXPECT_TRUE(removed.boxes.empty());
    EXPECT_EQ(
        (std::vector<std::string>{
            "tvdds.exe removesetup ended with 0",
            kSetupDir + "\\uninstall.exe goes once the uninstall has ended; the directory stays, "
                        "holding " + kSetupDir + "\\tvdds-check.exe",
            kSetupDir + "\\tvdds-check.exe could not be removed; the rest of the installation was "
                        "removed",
            "exit code 1603"}),
        LoggedAfterStart(Prefix().UnixPath(log)));
    EXPECT_EQ(kOtherVendors, Ini());
    EXPECT_EQ("", UninstallValue("DisplayName"));
    EXPECT_FALSE(fs::exists(Installed("tvdds.exe")));
    EXPECT_TRUE(fs::exists(Installed("tvdds-check.exe")));
    EXPECT_TRUE(Eventually([&] { return !fs::exists(Installed("uninstall.exe")); }, 20000, 100));
    fs::remove_all(Installed(""));
}

// Fault guarded against: a repair in place that could not replace a file
// said the product was not registered there, though vdds_mmi.ini still calls
// the program there. What it wrote stays, and so do the uninstall entry and
// the registration; installing again completes it.
TEST_P(Installer, ARepairInPlaceThatCannotReplaceAFileKeepsTheInstallationAndSaysSo)
{
    const std::string registered = InstallOverOtherVendors();
    ASSERT_FALSE(HasFailure());
    const std::string record = Prefix().Root() + "/holder.txt";
    const pid_t holder = StartProbe("hold", kSetupDir + "\\tvdds-check.exe|15000", record);
    ASSERT_EQ("held", ReadAll(record));

    const std::string log = "C:\\repair.log";
    fs::remove(Prefix().UnixPath(log));
    const BoxRun stopped = InstallSilently(Station::Visible, log);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(1603, stopped.exitCode);
    EXPECT_TRUE(stopped.boxes.empty());
    EXPECT_EQ((std::vector<std::string>{
                  kSetupDir +
                      "\\tvdds-check.exe could not be removed before it is written; the "
                      "installation in " +
                      kSetupDir + " is not complete, and vdds_mmi.ini still calls its program",
                  "exit code 1603"}),
              LoggedAfterStart(Prefix().UnixPath(log)));
    EXPECT_EQ(registered, Ini());
    EXPECT_EQ(kSetupDir, UninstallValue("InstallLocation"));
    for (const char* file : {"tvdds.exe", "tvdds-check.exe", "uninstall.exe"})
        EXPECT_TRUE(fs::exists(Installed(file))) << file;

    EXPECT_EQ(0, InstallSilently().exitCode);
    EXPECT_EQ(registered, Ini());
    EXPECT_TRUE(UninstallQuietly());
}

// Fault guarded against: removal tools append " /S" to UninstallString, which
// the uninstaller took into the directory's name: the removal failed, and the
// uninstall entry and the settings went all the same. An uninstaller started
// for a directory without an installation of ours changes nothing.
TEST_P(Installer, UninstallStringWithSilentSwitchRemovesAndOtherDirectoriesAreLeftAlone)
{
    const std::string registered = InstallOverOtherVendors();
    ASSERT_FALSE(HasFailure());
    const std::string uninstaller = "\"" + kSetupDir + "\\uninstall.exe\"";
    const std::string notOurs = "C:\\Praxis holds no installation of Tivora. Nothing was changed.";
    const struct
    {
        std::string commandLine;
        std::vector<std::string> boxes;
    } refusals[] = {
        {uninstaller + " /S _?=C:\\Praxis", {}},
        {uninstaller + " _?=C:\\Praxis", {notOurs}},
    };
    for (const auto& r : refusals)
    {
        const BoxRun refused = RunWatched(Prefix(), r.commandLine);
        EXPECT_EQ(1605, refused.exitCode) << r.commandLine;
        std::vector<std::string> texts;
        for (const BoxRun::Box& box : refused.boxes)
            texts.push_back(box.text);
        EXPECT_EQ(r.boxes, texts) << r.commandLine;
        EXPECT_EQ(registered, Ini()) << r.commandLine;
        EXPECT_EQ(kSetupDir, UninstallValue("InstallLocation")) << r.commandLine;
        EXPECT_EQ(kSetupDir, RegValue("BaseAppPath")) << r.commandLine;
        EXPECT_TRUE(fs::exists(Installed("tvdds.exe"))) << r.commandLine;
    }

    const BoxRun removed = RunWatched(Prefix(), UninstallValue("UninstallString") + " /S");
    EXPECT_EQ(0, removed.exitCode);
    EXPECT_TRUE(removed.boxes.empty());
    EXPECT_EQ(kOtherVendors, Ini());
    EXPECT_EQ("", UninstallValue("DisplayName"));
    EXPECT_EQ("", RegValue("BaseAppPath"));
    EXPECT_FALSE(fs::exists(Installed("tvdds.exe")));
}

// Fault guarded against: the installer and the uninstaller compared
// directories by their names, which Windows' comparison takes for one where
// one has "ss" and the other a sharp s: an installation in another directory
// stayed beside the new one, and an uninstaller set to work on a directory
// that was not its own.
TEST_P(Installer, DirectoriesAreToldApartByWhatTheyAreNotByTheirNames)
{
    const std::map<std::string, std::string> western{{"LC_ALL", "de_DE.UTF-8"}};
    const std::string earlier = "C:\\Praxis\\Strasse";
    const std::string other = "C:\\Praxis\\Stra\xC3\x9F"
                              "e";
    const std::string registered = InstallOverOtherVendors(earlier, western);
    ASSERT_FALSE(HasFailure());
    const fs::path holdsCopies = Prefix().UnixPath(other);
    fs::create_directories(holdsCopies);
    for (const char* file : {"tvdds.exe", "uninstall.exe"})
        fs::copy_file(Prefix().UnixPath(earlier + "\\" + file), holdsCopies / file);

    const BoxRun refused =
        RunWatched(Prefix(), "\"" + earlier + "\\uninstall.exe\" /S _?=" + other, western);
    EXPECT_EQ(1605, refused.exitCode);
    EXPECT_TRUE(refused.boxes.empty());
    EXPECT_EQ(registered, Ini());
    EXPECT_EQ(earlier, UninstallValue("InstallLocation"));
    EXPECT_TRUE(fs::exists(holdsCopies / "tvdds.exe"));

    const BoxRun moved = RunWatched(Prefix(), "C:\\harness\\setup.exe /S /D=" + other, western);
    EXPECT_EQ(0, moved.exitCode);
    EXPECT_TRUE(moved.boxes.empty());
    EXPECT_FALSE(fs::exists(Prefix().UnixPath(earlier + "\\tvdds.exe"))) << "removed";
    EXPECT_EQ(other, UninstallValue("InstallLocation"));
    EXPECT_EQ("NAME1\tXRAY\nNAME2\tTIVORA\nXRAY\t\nTIVORA\t" + other + "\\tvdds.exe\n",
              ListAsReadersSeeIt());
    EXPECT_TRUE(UninstallQuietly(other, western));
    fs::remove_all(Prefix().UnixPath(earlier));
}

// The installer's decisions about whom to trust, over security descriptors
// built with the system's own functions (see tests/wine/trust_table.cpp).
TEST_P(Installer, TrustDecisionsHoldForATableOfSecurityDescriptors)
{
    const std::string out = Prefix().Root() + "/trust.txt";
    fs::remove(out);
    EXPECT_EQ(0, Prefix().Wine(
                     {WinePrefix::WindowsPath(CurrentBuild().dir + "/tests/wine/trust_table.exe"),
                      WinePrefix::WindowsPath(out)}));
    EXPECT_EQ("0 of 31 rows wrong\n", ReadAll(out));
}

// A directory whose name the ANSI code page cannot hold could never be
// called through vdds_mmi.ini: it is refused before anything is installed.
TEST_P(Installer, DirectoryTheAnsiCodePageCannotHoldIsRefusedBeforeAnythingIsInstalled)
{
    const std::string lodz = "C:\\Praxis\\\xC5\x81\xC3\xB3"
                             "d\xC5\xBA";
    WriteIni(kOtherVendors);
    const BoxRun refused =
        RunWatched(Prefix(), "C:\\harness\\setup.exe /S /D=" + lodz, {{"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(1639, refused.exitCode);
    EXPECT_TRUE(refused.boxes.empty());
    EXPECT_FALSE(fs::exists(Prefix().UnixPath(lodz)));
    EXPECT_EQ("", UninstallValue("DisplayName"));
    EXPECT_EQ(kOtherVendors, Ini());
}

// Fault guarded against: the quiet uninstall went through cmd with the
// directory in its command line, and "&" or "!" in the name broke it (exit
// 49, nothing removed); each uninstall left its copy for the next restart.
// The names are those Windows allows and cmd treats specially, with an
// umlaut the ANSI code page holds. Wine's cmd expands "%NAME%" inside a
// delayed-expanded value, which Windows' cmd does not: no name here has a
// variable's name between two percent signs.
TEST_P(Installer, AnyDirectoryNameInstallsAndUninstallsQuietly)
{
    const std::map<std::string, std::string> western{{"LC_ALL", "de_DE.UTF-8"}};
    for (const std::string dir : {"C:\\Praxis\\Dr. M\xC3\xBCller & Kollegen", "C:\\Praxis\\Tivora!",
                                  "C:\\Praxis\\100% ^R&D' (x86) %1 !x!"})
    {
        WriteIni(kOtherVendors);
        const BoxRun install = RunWatched(Prefix(), "C:\\harness\\setup.exe /S /D=" + dir, western);
        EXPECT_EQ(0, install.exitCode) << dir;
        EXPECT_TRUE(install.boxes.empty()) << dir;
        EXPECT_EQ("NAME1\tXRAY\nNAME2\tTIVORA\nXRAY\t\nTIVORA\t" + dir + "\\tvdds.exe\n",
                  ListAsReadersSeeIt())
            << dir;
        EXPECT_TRUE(UninstallQuietly(dir, western)) << dir;
        EXPECT_EQ("NAME1\tXRAY\nXRAY\t\n", ListAsReadersSeeIt()) << dir;
    }
}
