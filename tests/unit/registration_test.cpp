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

#include "registry/clientkey.h"
#include "registry/regchecker.h"
#include "registry/regkey.h"
#include "starter/localencoding.h"
#include "starter/registration.h"
#include "starter/vddsregistration.h"
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
    ASSERT_EQ(1u, log.entries.size());
    EXPECT_EQ(0u, log.entries[0].find("can't create file '" + notADirectory + "/vdds_mmi_"))
        << log.entries[0];
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
        {"read-only directory", 0666, 0555, "the file could not be replaced"},
        {"unreadable file", 0222, 0777, "the file could not be read"},
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
        ASSERT_FALSE(m_logged.empty()) << c.what;
        EXPECT_EQ(Refusal(c.reason), m_logged.back()) << c.what;
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

TEST(BackupBytes, LinesEndInCrLfInTheLocalEncoding)
{
    const auto backup = [](const std::string& file)
    {
        wxString text;
        std::string bytes;
        EXPECT_TRUE(DecodeText(file, LocalEncoding(), text));
        EXPECT_TRUE(BackupBytes(file, text, LocalEncoding(), bytes));
        return bytes;
    };
    EXPECT_EQ("[BVS]\r\nNAME1=\xC4\r\n", backup("[BVS]\nNAME1=\xC4"));
    EXPECT_EQ("a\r\nb\r\nc\r\n\r\n", backup("a\rb\r\nc\n\r\n"));
    EXPECT_EQ("a\r\nb\r\n", backup("a\r\nb\r\n"));
    EXPECT_EQ("", backup(""));
}

TEST(WriteBackup, NeverReplacesAnEarlierBackupNorWritesTheNewestAgain)
{
    TestDir dir;
    const wxString path = wxString::FromUTF8(dir.Path());
    const auto at = [](int second)
    { return wxDateTime(13, wxDateTime::Dec, 2019, 12, 18, second); };

    EXPECT_EQ(wxString::FromUTF8(dir / "vdds_mmi_2019-12-13_12-18-02.bak"),
              WriteBackup("A", path, at(2)));
    EXPECT_EQ(wxString::FromUTF8(dir / "vdds_mmi_2019-12-13_12-18-02_2.bak"),
              WriteBackup("B", path, at(2)));
    EXPECT_EQ("A", ReadFile(dir / "vdds_mmi_2019-12-13_12-18-02.bak"));
    EXPECT_EQ("B", ReadFile(dir / "vdds_mmi_2019-12-13_12-18-02_2.bak"));

    // "A" is not the newest backup: it is kept again, and only once more.
    const wxString againA = WriteBackup("A", path, at(3));
    EXPECT_EQ(wxString::FromUTF8(dir / "vdds_mmi_2019-12-13_12-18-03.bak"), againA);
    EXPECT_EQ(againA, WriteBackup("A", path, at(4)));
    EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator(dir.Path()),
                               std::filesystem::directory_iterator()));
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
