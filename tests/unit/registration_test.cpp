#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/datetime.h>

#include "registry/regchecker.h"
#include "registry/regkey.h"
#include "registration/backup.h"
#include "registration/filereplace.h"
#include "registration/iniedit.h"
#include "common/platform.h"
#include "common/product.h"
#include "registration/registrationpass.h"
#include "testdir.h"
#include "vddsfixture.h"

namespace
{

// A vendor's section in UTF-16LE whose bytes hold 0D 0A inside a character
// (U+0A0D) and a surrogate pair (U+1F600).
const std::string kUtf16Vendor = Utf16Le(CrLf({"[R\xD6]"}) + "NAME=") + "\x0D\x0A" +
                                 std::string("\x3D\xD8\x00\xDE", 4) + Utf16Le("\r\n");

class RegistrationTest : public VddsFixture
{
protected:
    std::string Refusal(const std::string& reason) const
    {
        return "Tivora was not registered in " + IniPath() + ": " + reason +
               ". The file was left unchanged; the registration will be tried again at the next "
               "start.";
    }
};

} // namespace

TEST_F(RegistrationTest, WorkedExampleComesBackByteForByte)
{
    const std::string before = CrLf({"[BVS]", "NAME1=XRAY", "", "[XRAY]", "NAME=X"});
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=XRAY", "NAME2=TIVORA", "", "[XRAY]", "NAME=X"}) +
                  ProductSection(false),
              RegisterInto(before, false));
    EXPECT_EQ("1", Flag());
}

TEST_F(RegistrationTest, MissingFileIsCreatedWithBvsListAndProductSection)
{
    RegisterOnce(false);
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=TIVORA"}) + ProductSection(false), ReadFile(IniPath()));
    EXPECT_EQ("1", Flag());
}

TEST_F(RegistrationTest, EntryFillsTheFirstGapAfterTheLastEntryLine)
{
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=A", "NAME3=C", "NAME2=TIVORA", "[A]"}) + ProductSection(false),
              RegisterInto(CrLf({"[BVS]", "NAME1=A", "NAME3=C", "[A]"}), false));
}

TEST_F(RegistrationTest, LowerCaseBvsSectionGetsTheEntryWithoutSecondHeader)
{
    EXPECT_EQ(CrLf({"[bvs]", "name1=A", "NAME2=TIVORA"}) + ProductSection(false),
              RegisterInto(CrLf({"[bvs]", "name1=A"}), false));
}

TEST_F(RegistrationTest, ExistingProductSectionInAnyCaseLeavesFileUnchanged)
{
    std::string before = CrLf({"[BVS]", "NAME1=tivora"}) + ProductSection(false);
    before.replace(before.find("[TIVORA]"), 8, "[Tivora]");
    EXPECT_EQ(before, RegisterInto(before, false));
    EXPECT_EQ("1", Flag());
}

TEST_F(RegistrationTest, NewBvsSectionGoesBeforeTrailingBlankAndCommentLines)
{
    const std::string before = CrLf({"; vendors", "[XRAY]", "NAME=X", "", "; end"});
    EXPECT_EQ(CrLf({"; vendors", "[XRAY]", "NAME=X", "[BVS]", "NAME1=TIVORA", "", "; end"}) +
                  ProductSection(false),
              RegisterInto(before, false));
}

TEST_F(RegistrationTest, ByteOrderMarkHidesFirstHeaderAndIsWrittenBack)
{
    const std::string before = "\xEF\xBB\xBF[BVS]\r\nNAME1=A\r\n";
    EXPECT_EQ("\xEF\xBB\xBF[BVS]\r\nNAME1=A\r\n" + CrLf({"[BVS]", "NAME1=TIVORA"}) +
                  ProductSection(false),
              RegisterInto(before, false));
}

TEST_F(RegistrationTest, LineEndingsBecomeCrLfAndLastLineGetsOne)
{
    const std::string expected =
        CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA", "[A]", "X=1"}) + ProductSection(false);
    EXPECT_EQ(expected, RegisterInto("[BVS]\nNAME1=A\n[A]\nX=1\n", false));
    EXPECT_EQ(expected, RegisterInto("[BVS]\rNAME1=A\r[A]\rX=1", false)) << "second pass";
}

// Fault guarded against: one byte that is no text in the code page (here
// 0x81, which Windows-1252 lacks) refused every pass for good.
TEST_F(RegistrationTest, LocalEncodingBytesAboveAsciiComeBackUnchanged)
{
    const std::string before = CrLf(
        {"[BVS]", "NAME1=R\xD6NTGEN", "[R\xD6NTGEN]", "NAME=\x80 Z\xE4hne", "X=\x81\x9D[BVS]"});
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=R\xD6NTGEN", "NAME2=TIVORA", "[R\xD6NTGEN]",
                    "NAME=\x80 Z\xE4hne", "X=\x81\x9D[BVS]"}) +
                  ProductSection(false),
              RegisterInto(before, false));
    EXPECT_TRUE(m_logged.empty());
}

TEST_F(RegistrationTest, DsWinCallerGetsTheLongProductSection)
{
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=TIVORA"}) + ProductSection(true), RegisterInto("", true));
}

TEST_F(RegistrationTest, SecondRunChangesNothing)
{
    const std::string first = RegisterInto(CrLf({"[BVS]", "NAME1=A"}), false);
    RegisterOnce(true);
    EXPECT_EQ(first, ReadFile(IniPath()));
}

TEST_F(RegistrationTest, AnExplicitSetUpRunsThePassWhateverTheFlagSays)
{
    RegisterInto(CrLf({"[BVS]", "NAME1=A"}), false);
    WriteFile(IniPath(), CrLf({"[BVS]", "NAME1=A"}));
    RegisterOnce(false);
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=A"}), ReadFile(IniPath())) << "the flag says it ran";
    CVddsRegistration(wxString::FromUTF8(AppPath()), wxString(), false).Register();
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA"}) + ProductSection(false),
              ReadFile(IniPath()));
}

TEST_F(RegistrationTest, RefusedPassLeavesFileUntouchedFlagUnsetAndIsReportedOnce)
{
    const struct
    {
        const char* what;
        std::string before;
        const char* reason;
    } cases[] = {
        // Readers cut a line at a NUL byte; a crash leaves such bytes behind.
        // Fault guarded against: the advice to remove them broke the file.
        {"NUL byte", CrLf({"[BVS]", std::string("NAME1=A\0B", 9), "[A]"}),
         "line 2 holds a NUL byte, as a file a crash cut short does; restore the file from a "
         "backup"},
        {"U+0000", "\xFF\xFE" + Utf16Le(CrLf({"[BVS]", std::string("NAME1=A\0B", 9)})),
         "line 2 holds a NUL character (U+0000), as a file a crash cut short does; restore the "
         "file from a backup"},
        {"odd UTF-16LE", "\xFF\xFE" + Utf16Le(CrLf({"[BVS]"})) + "x",
         "the file is UTF-16LE text (it starts with the bytes FF FE) with an odd number of "
         "bytes, as a file cut short is; restore the file from a backup"},
        {"half a character", "\xFF\xFE" + Utf16Le("[BVS]\r\nNAME1=") + "\x3D\xD8" + Utf16Le("x"),
         "line 2 of this UTF-16LE file holds half a character (a broken surrogate pair), as a "
         "damaged file does; restore the file from a backup"},
        {"UTF-16BE", "\xFE\xFF" + Utf16Le("[BVS]").substr(1) + std::string(1, '\0'),
         "the file is UTF-16BE text (it starts with the bytes FE FF), which Windows reads as "
         "ANSI bytes, so that no program finds its entries; restore the file from a backup, or "
         "save it again as ANSI text or as UTF-16LE (\"Unicode\")"},
        // Fault guarded against: a runaway file ended the 32-bit program.
        {"too large", std::string(kMostFileBytes + 1, ';'),
         "the file is larger than 64 MB, which no registration file needs; it is probably "
         "damaged, restore it from a backup"},
        // Fault guarded against: the lines of an 8 MB file of line breaks
        // took more memory than the 32-bit program has.
        {"too many lines", "[BVS]\r" + std::string(1000001, '\n'),
         "the file has more than 1000000 lines, which no registration file needs; it is probably "
         "damaged; restore the file from a backup"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.before, RegisterInto(c.before, false)) << c.what;
        EXPECT_EQ("", Flag()) << c.what;
        EXPECT_EQ(std::vector<std::string>{Refusal(c.reason)}, m_logged) << c.what;
    }

    // The newest backup by the date, time and number in its name is named.
    for (const char* name :
         {"vdds_mmi_2026-03-01_10-00-00_2.bak", "vdds_mmi_2026-03-01_10-00-00.bak",
          "vdds_mmi_2025-12-31_23-59-59_10.bak"})
        WriteFile(AppPath() + "/" + name, "");
    RegisterInto(cases[0].before, false);
    EXPECT_EQ(std::vector<std::string>{Refusal(
                  "line 2 holds a NUL byte, as a file a crash cut short does; restore the file "
                  "from its newest backup, " +
                  AppPath() + "/vdds_mmi_2026-03-01_10-00-00_2.bak")},
              m_logged);

    // A directory where the file should be cannot be read as the file.
    std::remove(IniPath().c_str());
    mkdir(IniPath().c_str(), 0755);
    RegisterOnce(false);
    EXPECT_EQ("", Flag());
    EXPECT_EQ(std::vector<std::string>{Refusal("it is a directory")}, m_logged);
}

TEST_F(RegistrationTest, InstallationDirectoryThatIsNoDirectoryLogsOneErrorAndRegistersAllTheSame)
{
    // Creating the backup fails for another reason than a name in use.
    const std::string notADirectory = m_dir / "app/file";
    WriteFile(notADirectory, "");
    WriteFile(IniPath(), CrLf({"[BVS]"}));
    LogCapture log;
    CVddsRegistration(wxString::FromUTF8(notADirectory), wxString(), false).RegisterOnce();
    EXPECT_EQ(std::vector<std::string>{"No backup of " + IniPath() + " was made in " +
                                       notADirectory +
                                       ": the backup file could not be written (Not a directory)."},
              log.entries);
    EXPECT_EQ("1", Flag());
}

TEST_F(RegistrationTest, ProtectedOrUnreadableFileIsLeftUntouchedAndReported)
{
    const std::string before = CrLf({"[BVS]", "NAME1=A"});
    const std::string windows = m_dir / "windows";
    const struct
    {
        const char* what;
        mode_t fileMode;
        mode_t dirMode;
        const char* reason;
    } cases[] = {
        {"read-only file", 0444, 0777, "the file is write-protected"},
        {"read-only directory", 0666, 0555, "the file could not be replaced (Permission denied)"},
        {"unreadable file", 0222, 0777, "the file could not be read (Permission denied)"},
    };
    for (const auto& c : cases)
    {
        std::remove(IniPath().c_str());
        chmod(windows.c_str(), 0777);
        WriteFile(IniPath(), before);
        chmod(IniPath().c_str(), c.fileMode);
        chmod(windows.c_str(), c.dirMode);
        std::remove(
            (m_dir / "registry/HKEY_LOCAL_MACHINE/SOFTWARE/Halvorin/TivoraClient/VddsIniWritten")
                .c_str());

        RegisterOnceUnprivileged(false);

        chmod(windows.c_str(), 0777);
        chmod(IniPath().c_str(), 0644);
        EXPECT_EQ(before, ReadFile(IniPath())) << c.what;
        EXPECT_EQ("", Flag()) << c.what;
        EXPECT_EQ(std::vector<std::string>{Refusal(c.reason)}, m_logged) << c.what;
    }
}

TEST(BackupBytes, LinesKeepTheirBytesAndEndInCrLfInTheFilesEncoding)
{
    const std::string mark = "\xFF\xFE";
    // U+0A0D is the bytes 0D 0A, and U+1F600 the surrogate pair D83D DE00.
    const std::string gurmukhi = "\x0D\x0A", smiley("\x3D\xD8\x00\xDE", 4);
    const struct
    {
        std::string file;
        std::string backup;
    } cases[] = {
        {"[BVS]\nNAME1=\xC4", "[BVS]\r\nNAME1=\xC4\r\n"},
        {"a\rb\r\nc\n\r\n", "a\r\nb\r\nc\r\n\r\n"},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"R\x87\x9A \xED\x40", "R\x87\x9A \xED\x40\r\n"},
        {"", ""},
        {mark + Utf16Le("[BVS]\nN=\xC4\r") + gurmukhi + smiley,
         mark + Utf16Le("[BVS]\r\nN=\xC4\r\n") + gurmukhi + smiley + Utf16Le("\r\n")},
        {mark, mark},
    };
    for (const auto& c : cases)
    {
        RegistrationFileLines lines;
        const PassResult read = ReadRegistrationLines(c.file, wxConvISO8859_1, false, lines);
        ASSERT_TRUE(read.Is(PassResult::Outcome::Done)) << read.Explanation();
        EXPECT_EQ(c.backup, BackupBytes(lines)) << c.file;
    }
}

TEST(WriteBackup, NeverReplacesAnEarlierBackupNorWritesTheNewestAgain)
{
    TestDir dir;
    const wxString dirPath = wxString::FromUTF8(dir.Path());
    const auto at = [](int second)
    { return wxDateTime(13, wxDateTime::Dec, 2019, 12, 18, second); };
    const auto backup = [&](const std::string& bytes, int second, PassResult::Outcome expected)
    {
        wxString path;
        EXPECT_TRUE(WriteBackup(bytes, dirPath, at(second), path).Is(expected)) << bytes;
        return path.utf8_string();
    };

    EXPECT_EQ(dir / "vdds_mmi_2019-12-13_12-18-02.bak", backup("A", 2, PassResult::Outcome::Done));
    EXPECT_EQ(dir / "vdds_mmi_2019-12-13_12-18-02_2.bak",
              backup("B", 2, PassResult::Outcome::Done));
    EXPECT_EQ("A", ReadFile(dir / "vdds_mmi_2019-12-13_12-18-02.bak"));
    EXPECT_EQ("B", ReadFile(dir / "vdds_mmi_2019-12-13_12-18-02_2.bak"));

    // "A" is not the newest backup: it is kept again, and only once more.
    const std::string againA = backup("A", 3, PassResult::Outcome::Done);
    EXPECT_EQ(dir / "vdds_mmi_2019-12-13_12-18-03.bak", againA);
    EXPECT_EQ(againA, backup("A", 4, PassResult::Outcome::AlreadyDone));
    EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator(dir.Path()),
                               std::filesystem::directory_iterator()));
}

TEST(WriteBackup, SaysSoWhenEveryNameOfTheSecondIsTaken)
{
    TestDir dir;
    WriteFile(dir / "vdds_mmi_2019-12-13_12-18-02.bak", "0");
    for (int n = 2; n <= 999; ++n)
        mkdir((dir / ("vdds_mmi_2019-12-13_12-18-02_" + std::to_string(n) + ".bak")).c_str(), 0755);
    wxString path;
    const PassResult result = WriteBackup("A", wxString::FromUTF8(dir.Path()),
                                          wxDateTime(13, wxDateTime::Dec, 2019, 12, 18, 2), path);
    EXPECT_EQ("no free name for a backup file is left", result.Explanation());
    EXPECT_TRUE(path.empty());
}

// Fault guarded against: Windows code page 932 decodes some byte pairs to
// the same character, so a decode and encode changed other vendors' bytes.
TEST_F(RegistrationTest, OtherVendorsBytesAreNeverEncodedAgain)
{
    const wxCSConv shiftJis(wxS("CP932"));
    ASSERT_TRUE(shiftJis.IsOk());
    const std::string before = CrLf({"[BVS]", "NAME1=R", "[R]", "NAME=R\x87\x9A \xED\x40"});
    wxString text;
    ASSERT_TRUE(DecodeText(before, shiftJis, text));
    std::string reencoded;
    ASSERT_TRUE(EncodeText(text, shiftJis, reencoded));
    ASSERT_NE(before, reencoded) << "the sequences must not survive a decode and encode";

    RegistrationFileLines lines;
    ASSERT_TRUE(ReadRegistrationLines(before, shiftJis, true, lines).Is(PassResult::Outcome::Done));
    std::string after;
    const PassResult result =
        BuildRegisteredFile(lines, wxS("C:\\T\\tvdds.exe"), false, shiftJis, after);
    ASSERT_TRUE(result.Is(PassResult::Outcome::Done)) << result.Explanation();
    EXPECT_EQ(0u, after.find(CrLf({"[BVS]", "NAME1=R", "NAME2=TIVORA", "[R]",
                                   "NAME=R\x87\x9A \xED\x40", "[TIVORA]"})))
        << after;
}

TEST_F(RegistrationTest, ProductSectionWithoutListEntryGetsTheEntryAlone)
{
    const std::string section = ProductSection(false);
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=A", "NAME3=C", "NAME2=TIVORA", "[A]"}) + section,
              RegisterInto(CrLf({"[BVS]", "NAME1=A", "NAME3=C", "[A]"}) + section, false));
    EXPECT_EQ("1", Flag());
    // Without a list section, it comes after the last section, as anywhere.
    EXPECT_EQ(CrLf({"[X]", "Y=1"}) + section + CrLf({"[BVS]", "NAME1=TIVORA"}),
              RegisterInto(CrLf({"[X]", "Y=1"}) + section, false));

    // The profile API compares without regard to case and surrounding blanks.
    const std::string listed = CrLf({"[BVS]", "NAME1= tivora "}) + section;
    EXPECT_EQ(listed, RegisterInto(listed, false));
}

TEST_F(RegistrationTest, LinkedFileIsRegisteredInItsTargetAndStaysALink)
{
    const std::string target = m_dir / "shared.ini";
    WriteFile(target, CrLf({"[BVS]", "NAME1=A"}));
    ASSERT_EQ(0, symlink(target.c_str(), IniPath().c_str()));
    RegisterOnce(false);
    EXPECT_TRUE(m_logged.empty());
    EXPECT_TRUE(std::filesystem::is_symlink(IniPath()));
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA"}) + ProductSection(false), ReadFile(target));

    // Fault guarded against: a link whose target could not be found was
    // replaced by a local file, and the machine stopped sharing the file.
    std::remove(target.c_str());
    std::remove(
        (m_dir / "registry/HKEY_LOCAL_MACHINE/SOFTWARE/Halvorin/TivoraClient/VddsIniWritten")
            .c_str());
    RegisterOnce(false);
    EXPECT_TRUE(std::filesystem::is_symlink(IniPath()));
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(std::vector<std::string>{Refusal("it is a link whose target cannot be found, and "
                                               "the link itself is never replaced")},
              m_logged);
}

// Faults guarded against: a user who may rename the opened data directory,
// or a directory above it, put a link in its place, and the next elevated
// pass opened the rights of whatever the link named; a "conf" that was no
// directory was opened too.
TEST_F(RegistrationTest, DataDirectoryReachedThroughALinkOrNoDirectoryIsReportedAndLeftAlone)
{
    const std::string elsewhere = m_dir / "elsewhere";
    mkdir(elsewhere.c_str(), 0700);
    mkdir((elsewhere + "/conf").c_str(), 0700);
    WriteFile(m_dir / "file", "");
    chmod((m_dir / "file").c_str(), 0600);
    symlink(elsewhere.c_str(), (m_dir / "linked").c_str());
    symlink((elsewhere + "/conf").c_str(), (m_dir / "data/link").c_str());
    link((m_dir / "file").c_str(), (m_dir / "data/hardlink").c_str());
    const std::string link =
        "it is a link, or a link stands above it, and links are never followed";
    const struct
    {
        std::string dataConf;
        std::string reason;
    } cases[] = {
        {m_dir / "data/link", link},
        {m_dir / "linked/conf", link},
        {m_dir / "data/hardlink", "it is no directory"},
        {"data/conf", "the data directory in the registry is not an absolute path"},
    };
    for (const auto& c : cases)
    {
        std::remove(
            (m_dir / "registry/HKEY_LOCAL_MACHINE/SOFTWARE/Halvorin/TivoraClient/VddsIniWritten")
                .c_str());
        LogCapture log;
        CVddsRegistration(wxString::FromUTF8(AppPath()), wxString::FromUTF8(c.dataConf), false)
            .RegisterOnce();
        EXPECT_EQ(std::vector<std::string>{"The access rights of " + c.dataConf +
                                           " were not opened: " + c.reason + "."},
                  log.entries);
        EXPECT_EQ("1", Flag()) << "the registration itself goes on";
    }
    struct stat info;
    for (const std::string& target : {elsewhere + "/conf", m_dir / "file"})
    {
        ASSERT_EQ(0, stat(target.c_str(), &info));
        EXPECT_EQ(0u, info.st_mode & 0077) << target << " is unchanged";
    }
}

TEST(ReplaceFileIfUnchanged, FileThatNoLongerHoldsTheExpectedBytesIsLeftAlone)
{
    TestDir dir;
    const std::string path = dir / "shared.ini";
    WriteFile(path, "changed by another program");
    const PassResult result =
        ReplaceFileIfUnchanged(wxString::FromUTF8(path), "as read before", "new bytes");
    EXPECT_TRUE(result.Is(PassResult::Outcome::FileChanged));
    EXPECT_EQ("changed by another program", ReadFile(path));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.Path()),
                               std::filesystem::directory_iterator()))
        << "no temporary file is left";
}

// Faults guarded against: the second name of a pass that was killed stayed
// beside the file for good; removing every such name lost what another
// program wrote into the replaced file in the moment of the rename. Only
// this program's second names whose process has ended are dealt with: one
// that is still a name of the file goes, any other is kept under a kept
// name with its bytes; a kept version, a copy someone made and a running
// pass's second name stay as they are. A second name with this process's
// own id was left by an ended process that had the same id.
TEST(ReplaceFileIfUnchanged, SettlesOnlyTheSecondNamesOfEndedPasses)
{
    TestDir dir;
    const std::string path = dir / "shared.ini";
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    waitpid(ended, nullptr, 0);
    const std::string endedLink = path + ".tvdds-link-" + std::to_string(ended) + "-0";
    const std::string endedReplaced = path + ".tvdds-link-" + std::to_string(getpid()) + "-0";
    const std::vector<std::string> staying = {
        path + ".tvdds-link-" + std::to_string(getppid()) + "-9",
        path + ".tvdds-kept-" + std::to_string(ended) + "-1", path + "." + std::to_string(ended) + "-0",
        dir / "other.ini.tvdds-link-" + std::to_string(ended) + "-0"};
    WriteFile(path, "old");
    for (const std::string& name : staying)
        WriteFile(name, "copy");
    std::filesystem::create_hard_link(path, endedLink);
    WriteFile(endedReplaced, "old with another program's line");
    ASSERT_TRUE(ReplaceFileIfUnchanged(wxString::FromUTF8(path), "old", "new")
                    .Is(PassResult::Outcome::Done));
    std::vector<std::string> keptNow;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        if (entry.path().filename().string().rfind("shared.ini.tvdds-kept-" + std::to_string(getpid()), 0) == 0)
            keptNow.push_back(ReadFile(entry.path().string()));
    EXPECT_EQ(std::vector<std::string>{"old with another program's line"}, keptNow);
    EXPECT_FALSE(std::filesystem::exists(endedLink));
    EXPECT_FALSE(std::filesystem::exists(endedReplaced));
    for (const std::string& name : staying)
        EXPECT_EQ("copy", ReadFile(name)) << name;
}

// Faults guarded against: a line another program appended in the moment
// between the comparison and the rename went with the replaced file.
TEST(KeepWritesThatSlippedIn, TheReplacedFileComesBackOrIsKeptButNoWriteIsLost)
{
    const std::string expected = "[A]\r\nK=1\r\n";
    const std::string bytes = expected + "[TIVORA]\r\n";
    const std::string slipped = expected + "W=1\r\n";
    const struct
    {
        const char* what;
        std::string replaced;
        std::string now;
        PassResult::Outcome outcome;
        std::string after;
        bool replacedKept;
    } cases[] = {
        {"nothing slipped in", expected, bytes, PassResult::Outcome::Done, bytes, false},
        {"a line slipped in", slipped, bytes, PassResult::Outcome::FileChanged, slipped, false},
        {"the new file changed too", slipped, bytes + "V=2\r\n", PassResult::Outcome::KeptAside,
         bytes + "V=2\r\n", true},
    };
    for (const auto& c : cases)
    {
        TestDir dir;
        const std::string path = dir / "shared.ini";
        const std::string replaced = dir / "shared.ini.tvdds-link-1-0";
        WriteFile(path, c.now);
        WriteFile(replaced, c.replaced);
        const PassResult result = KeepWritesThatSlippedIn(wxString::FromUTF8(path), expected, bytes,
                                                          wxString::FromUTF8(replaced));
        EXPECT_TRUE(result.Is(c.outcome)) << c.what;
        EXPECT_EQ(c.after, ReadFile(path)) << c.what;
        EXPECT_FALSE(std::filesystem::exists(replaced)) << c.what << ": no second name is left";
        std::vector<std::string> others;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            if (entry.path() != path)
                others.push_back(entry.path().string());
        ASSERT_EQ(c.replacedKept ? 1u : 0u, others.size()) << c.what;
        if (c.replacedKept)
        {
            EXPECT_EQ(c.replaced, ReadFile(others[0])) << c.what;
            EXPECT_NE(std::string::npos, others[0].find("shared.ini.tvdds-kept-"));
            EXPECT_NE(std::string::npos, result.reason.find(wxString::FromUTF8(others[0])));
        }
    }
}

TEST(RetryWhileFileChanges, GivesUpAfterTheLastAttemptAndStopsAtAnyOtherOutcome)
{
    int calls = 0;
    const PassResult gaveUp = RetryWhileFileChanges(
        [&]
        {
            ++calls;
            return PassResult::Of(PassResult::Outcome::FileChanged);
        });
    EXPECT_EQ(kEditAttempts, calls);
    EXPECT_EQ("another program kept changing the file", gaveUp.Explanation());

    calls = 0;
    const PassResult done = RetryWhileFileChanges(
        [&]
        {
            return PassResult::Of(++calls < 3 ? PassResult::Outcome::FileChanged
                                              : PassResult::Outcome::Done);
        });
    EXPECT_EQ(3, calls);
    EXPECT_TRUE(done.Is(PassResult::Outcome::Done));
}

// Faults guarded against: a reinstall listed the product twice, entered it
// where readers do not look, or left the section calling a moved program.
TEST_F(RegistrationTest, EveryInstallLeavesOneVisibleEntryAndASectionThatCallsThisProgram)
{
    const std::string program = "PATDATIMPORT=" + AppPath() + "/tvdds";
    const std::string section = ProductSection(false);
    const std::string utf16 = "\xFF\xFE";
    const struct
    {
        const char* what;
        std::string before;
        std::string after;
    } cases[] = {
        {"listed, section lost", CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA", "[A]"}),
         CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA", "[A]"}) + section},
        {"listed in an unread second list",
         CrLf({"[BVS]", "NAME1=A", "[BVS]", "NAME1=TIVORA"}) + section,
         CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA", "[BVS]", "NAME1=TIVORA"}) + section},
        {"listed behind a gap", CrLf({"[BVS]", "NAME1=A", "NAME3=TIVORA", "NAME4=B"}) + section,
         CrLf({"[BVS]", "NAME1=A", "NAME3=B", "NAME2=TIVORA"}) + section},
        {"listed twice", CrLf({"[BVS]", "NAME1=TIVORA", "NAME2=B", "NAME3=tivora"}) + section,
         CrLf({"[BVS]", "NAME1=TIVORA", "NAME2=B"}) + section},
        // Faults guarded against: each of these files got the product where
        // Windows readers do not look, or changed another vendor's lines.
        {"text after the list's header", CrLf({"[BVS] ; Liste [alt]", "NAME1=A"}),
         CrLf({"[BVS] ; Liste [alt]", "NAME1=A", "NAME2=TIVORA"}) + section},
        {"the list's header without ']'", CrLf({"[BVS", "NAME1=A", "[CEREC", "NAME1=C"}),
         CrLf({"[BVS", "NAME1=A", "NAME2=TIVORA", "[CEREC", "NAME1=C"}) + section},
        {"an empty entry where readers stop", CrLf({"[BVS]", "NAME1=A", " NAME2 = ", "NAME3=C"}),
         CrLf({"[BVS]", "NAME1=A", " NAME2 =TIVORA", "NAME3=C"}) + section},
        {"UTF-16LE, an empty entry where readers stop",
         utf16 + Utf16Le(CrLf({"[BVS]", "NAME1=A", " NAME2 = ", "NAME3=C"})) + kUtf16Vendor,
         utf16 + Utf16Le(CrLf({"[BVS]", "NAME1=A", " NAME2 =TIVORA", "NAME3=C"})) + kUtf16Vendor +
             Utf16Le(section)},
        {"UTF-16LE, no list", utf16 + kUtf16Vendor,
         utf16 + kUtf16Vendor + Utf16Le(CrLf({"[BVS]", "NAME1=TIVORA"}) + section)},
        {"a line without '=' where readers stop", CrLf({"[BVS]", "NAME1=A", "NAME2", "NAME3=C"}),
         CrLf({"[BVS]", "NAME1=A", "NAME2", "NAME3=C", "NAME2=TIVORA"}) + section},
        {"a short section before a header without ']'",
         CrLf({"[BVS]", "NAME1=TIVORA", "[TIVORA]", "NAME=Tivora", "[XRAY", "VERSION=9",
               "STAGES=7"}),
         CrLf({"[BVS]", "NAME1=TIVORA", "[TIVORA]", "NAME=Tivora", program, "PATDATIMPORT_OS=1",
               "STAGES=1", "VERSION=1.2", "[XRAY", "VERSION=9", "STAGES=7"})},
        {"a short section last, no list", CrLf({"[X]", "Y=1", "[TIVORA]", "NAME=Tivora"}),
         CrLf({"[X]", "Y=1", "[TIVORA]", "NAME=Tivora", program, "PATDATIMPORT_OS=1", "STAGES=1",
               "VERSION=1.2", "[BVS]", "NAME1=TIVORA"})},
        {"another key names it", CrLf({"[BVS]", "LAST=TIVORA"}) + section,
         CrLf({"[BVS]", "LAST=TIVORA", "NAME1=TIVORA"}) + section},
        {"quoted entry", CrLf({"[BVS]", "NAME1=\"TIVORA\""}) + section,
         CrLf({"[BVS]", "NAME1=\"TIVORA\""}) + section},
        {"a list nobody reads", CrLf({"[BVS x]", "NAME1=A"}) + section,
         CrLf({"[BVS x]", "NAME1=A"}) + section + CrLf({"[BVS]", "NAME1=TIVORA"})},
        {"moved installation",
         CrLf({"[BVS]", "NAME1=TIVORA", "[ TIVORA ]", "NAME=Tivora",
               "PATDATIMPORT=C:\\Alt\\tvdds.exe", "PATDATIMPORT_OS=1", "OWN=kept", "STAGES=1",
               "VERSION=1.1", "", "[X]"}),
         CrLf({"[BVS]", "NAME1=TIVORA", "[ TIVORA ]", "NAME=Tivora", program, "PATDATIMPORT_OS=1",
               "OWN=kept", "STAGES=1", "VERSION=1.2", "", "[X]"})},
        {"DS-Win section of a moved installation",
         CrLf({"[BVS]", "NAME1=TIVORA", "[TIVORA]", "NAME=Tivora",
               "PATDATIMPORT=C:\\Alt\\tvdds.exe", "PATDATIMPORT_OS=1",
               "MMOINFEXPORT=C:\\Alt\\tvdds.exe", "MMOINFEXPORT_OS=1", "MMOVIEW=C:\\Alt\\tvdds.exe",
               "MMOVIEW_OS=1", "SUPPORTTHUMBNAILS=0", "STAGES=12", "VERSION=1.2"}),
         CrLf({"[BVS]", "NAME1=TIVORA"}) + ProductSection(true)},
        {"lines missing from the section",
         CrLf({"[BVS]", "NAME1=TIVORA", "[Tivora]", "NAME=Tivora", "; kept", ""}),
         CrLf({"[BVS]", "NAME1=TIVORA", "[Tivora]", "NAME=Tivora", program, "PATDATIMPORT_OS=1",
               "STAGES=1", "VERSION=1.2", "; kept", ""})},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.after, RegisterInto(c.before, false)) << c.what;
        EXPECT_TRUE(m_logged.empty()) << c.what;
        EXPECT_EQ(c.after, RegisterInto(c.after, false)) << c.what << ": a second install";
    }
}

// The uninstaller's removal: the product's lines go, the list keeps no gap,
// and every other line keeps its bytes, whatever its encoding.
TEST_F(RegistrationTest, RemovalTakesOutEntryAndSectionAndNumbersTheLaterEntriesDown)
{
    const std::string ours = ProductSection(false);
    const std::string otherProgram = m_dir / "other-tvdds";
    WriteFile(otherProgram, "");
    const struct
    {
        const char* what;
        std::string before;
        std::string after;
    } cases[] = {
        {"vendors before and after",
         CrLf({"; list", "[BVS]", "NAME1=A", "  name2 = tivora", "NAME3=R\xD6", "NAME4 =C", "[A]",
               "X=1"}) +
             ours + CrLf({"", "; Z", "[R\xD6]", "NAME=\xD6"}),
         CrLf({"; list", "[BVS]", "NAME1=A", "NAME2=R\xD6", "NAME3 =C", "[A]", "X=1", "", "; Z",
               "[R\xD6]", "NAME=\xD6"})},
        {"listed twice, unread second list kept",
         CrLf({"[BVS]", "NAME1=TIVORA", "NAME2=B", "NAME3=TIVORA", "NAME4=D", "[BVS]",
               "NAME1=TIVORA"}) +
             ours,
         CrLf({"[BVS]", "NAME1=B", "NAME2=D", "[BVS]", "NAME1=TIVORA"})},
        {"entry alone", CrLf({"[BVS]", "NAME1=TIVORA", "NAME2=B"}), CrLf({"[BVS]", "NAME1=B"})},
        {"UTF-16LE",
         "\xFF\xFE" +
             Utf16Le(CrLf({"[BVS]", "NAME1=TIVORA", "NAME2=B", "NAME3=TIVORA", "NAME4=D"})) +
             kUtf16Vendor + Utf16Le(ours),
         "\xFF\xFE" + Utf16Le(CrLf({"[BVS]", "NAME1=B", "NAME2=D"})) + kUtf16Vendor},
        // Faults guarded against: a hidden second key of the product's
        // number came to light and hid the vendor after it; the lines of a
        // section whose header lost its "]" went with the product's; a
        // vendor's entry moved away from the comment before it.
        {"a comment before the next entry",
         CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA", "; C since 2019", "NAME3=C"}),
         CrLf({"[BVS]", "NAME1=A", "; C since 2019", "NAME2=C"})},
        {"a hidden key of the product's number",
         CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA", "NAME2=B", "NAME3=C"}),
         CrLf({"[BVS]", "NAME1=A", "NAME2=C", "NAME2=B"})},
        {"a hidden key of the last number", CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA", "NAME2=B"}),
         CrLf({"[BVS]", "NAME1=A", "NAME2=", "NAME2=B"})},
        {"a header without ']' after the section",
         CrLf({"[BVS]", "NAME1=TIVORA", "[TIVORA]", "NAME=Tivora", "[XRAY", "NAME=X-Ray",
               "PATDATIMPORT=C:\\X\\x.exe"}),
         CrLf({"[BVS]", "[XRAY", "NAME=X-Ray", "PATDATIMPORT=C:\\X\\x.exe"})},
        {"not registered", CrLf({"[BVS]", "NAME1=B", "NAME3=C"}),
         CrLf({"[BVS]", "NAME1=B", "NAME3=C"})},
        {"a program that is gone",
         CrLf({"[BVS]", "NAME1=TIVORA", "[TIVORA]", "PATDATIMPORT=/gone"}), CrLf({"[BVS]"})},
        {"another installation's",
         CrLf({"[BVS]", "NAME1=TIVORA", "[TIVORA]", "PATDATIMPORT=" + otherProgram}),
         CrLf({"[BVS]", "NAME1=TIVORA", "[TIVORA]", "PATDATIMPORT=" + otherProgram})},
    };
    for (const auto& c : cases)
    {
        bool removed = false;
        EXPECT_EQ(c.after, UnregisterFrom(c.before, removed)) << c.what;
        EXPECT_TRUE(removed) << c.what;
    }
    EXPECT_EQ(std::vector<std::string>{"Tivora was left registered in " + IniPath() +
                                       ": the registration calls another installation's program, "
                                       "not " +
                                       AppPath() + "/tvdds."},
              m_logged);

    // Without a backup the advice names none.
    std::filesystem::remove_all(AppPath());
    std::filesystem::create_directory(AppPath());
    bool removed = true;
    const std::string damaged = CrLf({"[BVS]", "NAME1=TIVORA", std::string("X=\0", 3)});
    EXPECT_EQ(damaged, UnregisterFrom(damaged, removed));
    EXPECT_FALSE(removed);
    EXPECT_EQ(std::vector<std::string>{"Tivora could not be removed from " + IniPath() +
                                       ": line 3 holds a NUL byte, as a file a crash cut short "
                                       "does; restore the file from a backup. The file was left "
                                       "unchanged."},
              m_logged);
}

// What the system's own reader must find after a pass, compared with what
// it found before, and how its disagreement is put.
TEST(SystemReaderDisagreement, NamesWhatTheSystemsReaderFoundInstead)
{
    const wxString program(wxS("C:\\Tivora\\tvdds.exe"));
    const std::vector<wxString> xray{wxS("XRAY")};
    const struct
    {
        std::vector<wxString> before;
        ReadersView after;
        bool registered;
        const char* disagreement;
    } cases[] = {
        {xray, {{wxS("XRAY"), wxS("tivora")}, wxS("c:\\tivora\\TVDDS.EXE")}, true, ""},
        {{wxS("XRAY"), wxS("TIVORA")}, {{wxS("XRAY"), wxS("TIVORA"), wxS("CEPH")}, program},
         true, ""},
        {xray, {xray, program}, true, "lists XRAY, not Tivora"},
        {{}, {{}, wxString()}, true, "finds no imaging system in the list"},
        {{}, {{wxS("TIVORA"), wxS("Tivora")}, program}, true, "lists Tivora more than once"},
        {{wxS("XRAY"), wxS("CEPH")}, {{wxS("XRAY"), wxS("TIVORA")}, program}, true,
         "no longer lists CEPH, which it listed before"},
        {{wxS("XRAY"), wxS("CEPH")}, {{wxS("CEPH"), wxS("XRAY"), wxS("TIVORA")}, program}, true,
         "lists XRAY in another place than before"},
        {{}, {{wxS("TIVORA")}, wxString()}, true, "finds no program that calls Tivora"},
        {{}, {{wxS("TIVORA")}, wxS("C:\\Alt\\tvdds.exe")}, true,
         "finds Tivora calling C:\\Alt\\tvdds.exe, not C:\\Tivora\\tvdds.exe"},
        {{wxS("XRAY"), wxS("TIVORA")}, {xray, wxString()}, false, ""},
        {{wxS("XRAY"), wxS("TIVORA")}, {{wxS("XRAY"), wxS("TIVORA")}, wxString()}, false,
         "still lists Tivora"},
        {{wxS("XRAY"), wxS("TIVORA"), wxS("CEPH")}, {xray, wxString()}, false,
         "no longer lists CEPH, which it listed before"},
        {{wxS("XRAY"), wxS("TIVORA")}, {{wxS("XRAY"), wxS("CEPH")}, wxString()}, false,
         "now lists CEPH, which it did not list before"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.disagreement, SystemReaderDisagreement(ReadersView{c.before, wxString()},
                                                           c.after, program, c.registered)
                                      .utf8_string());
}
