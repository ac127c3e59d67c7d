#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/datetime.h>
#include <wx/fileconf.h>
#include <wx/sstream.h>

#include "registry/regchecker.h"
#include "registry/regkey.h"
#include "starter/backup.h"
#include "starter/filereplace.h"
#include "starter/iniedit.h"
#include "starter/platform.h"
#include "starter/product.h"
#include "starter/registrationpass.h"
#include "testdir.h"
#include "vddsfixture.h"

namespace
{

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
    const std::string before = CrLf({"[BVS]", "NAME1=tivora", "[Tivora]", "NAME=Tivora"});
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

TEST_F(RegistrationTest, LocalEncodingBytesAboveAsciiComeBackUnchanged)
{
    const std::string before =
        CrLf({"[BVS]", "NAME1=R\xD6NTGEN", "[R\xD6NTGEN]", "NAME=\x80 Z\xE4hne"});
    EXPECT_EQ(
        CrLf({"[BVS]", "NAME1=R\xD6NTGEN", "NAME2=TIVORA", "[R\xD6NTGEN]", "NAME=\x80 Z\xE4hne"}) +
            ProductSection(false),
        RegisterInto(before, false));
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

TEST_F(RegistrationTest, RefusedPassLeavesFileUntouchedFlagUnsetAndIsReportedOnce)
{
    const struct
    {
        const char* what;
        std::string before;
        const char* reason;
    } cases[] = {
        // Windows-1252 has no character for 0x81, so the text cannot be decoded.
        {"undecodable", CrLf({"[BVS]", "NAME1=\x81"}),
         "its text is not in the system's character set"},
        // The INI layer cuts a line at a NUL byte; the line must not be lost.
        {"NUL byte", CrLf({"[BVS]", std::string("NAME1=A\0B", 9), "[A]"}),
         "some of its lines could not have been kept exactly as they are"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.before, RegisterInto(c.before, false)) << c.what;
        EXPECT_EQ("", Flag()) << c.what;
        EXPECT_EQ(std::vector<std::string>{Refusal(c.reason)}, m_logged) << c.what;
    }

    // A directory where the file should be cannot be read as the file.
    std::remove(IniPath().c_str());
    mkdir(IniPath().c_str(), 0755);
    RegisterOnce(false);
    EXPECT_EQ("", Flag());
    EXPECT_EQ(std::vector<std::string>{Refusal("the file could not be read")}, m_logged);
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

TEST(FindBvsSection, AcceptsBvsAloneOrFollowedByBlankInEnumerationOrder)
{
    const auto pick = [](const char* ini)
    {
        wxStringInputStream in(wxString::FromUTF8(ini));
        wxFileConfig model(in);
        return FindBvsSection(model);
    };
    EXPECT_EQ(wxS("BVS"), pick("[XBVS]\n[BVSX]\n[bvs]\n"));
    EXPECT_EQ(wxS("A BVS x"), pick("[Z BVS y]\n[A BVS x]\n"));
    EXPECT_EQ(wxS("_BVS z"), pick("[BVS]\n[_BVS z]\n"));
    EXPECT_EQ(wxS("BVS"), pick("[BVS]\n[BVS 2]\n"));
    EXPECT_EQ(wxS("BVS"), pick("[BVS/sub]\n"));
}

TEST(BackupBytes, LinesKeepTheirBytesAndEndInCrLf)
{
    EXPECT_EQ("[BVS]\r\nNAME1=\xC4\r\n", BackupBytes("[BVS]\nNAME1=\xC4"));
    EXPECT_EQ("a\r\nb\r\nc\r\n\r\n", BackupBytes("a\rb\r\nc\n\r\n"));
    EXPECT_EQ("a\r\nb\r\n", BackupBytes("a\r\nb\r\n"));
    EXPECT_EQ("R\x87\x9A \xED\x40\r\n", BackupBytes("R\x87\x9A \xED\x40"));
    EXPECT_EQ("", BackupBytes(""));
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

    WriteFile(IniPath(), before);
    std::string after;
    const PassResult result = BuildRegisteredFile(wxString::FromUTF8(IniPath()), before, text,
                                                  wxS("C:\\T\\tvdds.exe"), false, shiftJis, after);
    ASSERT_TRUE(result.Is(PassResult::Outcome::Done)) << result.Explanation();
    EXPECT_EQ(0u, after.find(CrLf({"[BVS]", "NAME1=R", "NAME2=TIVORA", "[R]",
                                   "NAME=R\x87\x9A \xED\x40", "[TIVORA]"})))
        << after;
}

TEST_F(RegistrationTest, ProductSectionWithoutListEntryGetsTheEntryAlone)
{
    const std::string section = CrLf({"[TIVORA]", "NAME=Tivora"});
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
}

// Fault guarded against: a user who may rename the opened data directory
// put a link in its place, and the next elevated pass opened the rights of
// whatever the link named.
TEST_F(RegistrationTest, DataDirectoryThatIsALinkOrRelativeIsReportedAndLeftAlone)
{
    const std::string conf = m_dir / "data/conf";
    const std::string elsewhere = m_dir / "elsewhere";
    mkdir(elsewhere.c_str(), 0700);
    rmdir(conf.c_str());
    ASSERT_EQ(0, symlink(elsewhere.c_str(), conf.c_str()));
    const auto register_ = [&](const std::string& dataPath)
    {
        LogCapture log;
        CVddsRegistration(wxString::FromUTF8(AppPath()), wxString::FromUTF8(dataPath), false)
            .RegisterOnce();
        return log.entries;
    };

    EXPECT_EQ(std::vector<std::string>{"The access rights of " + conf +
                                       " were not opened: it is a link, which is never followed."},
              register_(conf));
    struct stat info;
    ASSERT_EQ(0, stat(elsewhere.c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 07777) << "the link's target is unchanged";
    EXPECT_EQ("1", Flag()) << "the registration itself goes on";

    std::remove(
        (m_dir / "registry/HKEY_LOCAL_MACHINE/SOFTWARE/Halvorin/TivoraClient/VddsIniWritten")
            .c_str());
    EXPECT_EQ(std::vector<std::string>{"The access rights of data/conf were not opened: the data "
                                       "directory in the registry is not an absolute path."},
              register_("data/conf"));
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

TEST_F(RegistrationTest, NamesFollowTheCaseRulesOfTheUsersLocaleWhichIsKept)
{
    ASSERT_NE(nullptr, std::setlocale(LC_CTYPE, "C.UTF-8"));
    // "BVS Z\xE4hne" and "BVS Z\xC4HNE" name one section in this locale, with
    // NAME1 and NAME2 taken; the C locale would see two.
    const std::string twoHeaders =
        CrLf({"[BVS Z\xE4hne]", "NAME1=A", "[X]", "[BVS Z\xC4HNE]", "NAME2=B"});
    const std::string registered = RegisterInto(twoHeaders, false);
    const std::string localeAfterNonAscii = std::setlocale(LC_CTYPE, nullptr);
    const std::string ascii = CrLf({"[BVS]", "NAME1=A"});
    const std::string registeredAscii = RegisterInto(ascii, false);
    const std::string localeAfterAscii = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");

    EXPECT_EQ(twoHeaders + CrLf({"NAME3=TIVORA"}) + ProductSection(false), registered);
    EXPECT_EQ(CrLf({"[BVS]", "NAME1=A", "NAME2=TIVORA"}) + ProductSection(false), registeredAscii);
    EXPECT_EQ("C.UTF-8", localeAfterNonAscii);
    EXPECT_EQ("C.UTF-8", localeAfterAscii);
}
