#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
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

using RegistrationTest = VddsFixture;

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

TEST_F(RegistrationTest, FaultsLeaveTheFileUntouchedAndTheFlagWithdrawn)
{
    // Windows-1252 has no character for 0x81, so the text cannot be decoded.
    const std::string undecodable = CrLf({"[BVS]", "NAME1=\x81"});
    EXPECT_EQ(undecodable, RegisterInto(undecodable, false));
    EXPECT_EQ("0", Flag());

    // The INI layer cuts a line at a NUL byte; the line must not be lost.
    const std::string withNul = CrLf({"[BVS]", std::string("NAME1=A\0B", 9), "[A]"});
    EXPECT_EQ(withNul, RegisterInto(withNul, false));
    EXPECT_EQ("0", Flag());

    // A directory where the file should be cannot be read as the file.
    std::remove(IniPath().c_str());
    mkdir(IniPath().c_str(), 0755);
    RegisterOnce(false);
    EXPECT_EQ("0", Flag());
}

TEST_F(RegistrationTest, ProtectedOrUnreadableFileIsLeftUntouchedAndTheFlagWithdrawn)
{
    const std::string before = CrLf({"[BVS]", "NAME1=A"});
    const std::string windows = m_dir / "windows";
    const struct
    {
        const char* what;
        mode_t fileMode;
        mode_t dirMode;
    } cases[] = {
        {"read-only file", 0444, 0777},
        {"read-only directory", 0666, 0555},
        {"unreadable file", 0222, 0777},
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
        EXPECT_EQ("0", Flag()) << c.what;
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

TEST(WriteBackup, CopiesLinesWithCrLfAndNeverReplacesAnEarlierBackup)
{
    TestDir dir;
    const wxDateTime when(13, wxDateTime::Dec, 2019, 12, 18, 2);
    const wxString text = wxString("[BVS]\nNAME1=\xC4", wxConvISO8859_1);

    const wxString first = WriteBackup(text, wxString::FromUTF8(dir.Path()), when, LocalEncoding());
    EXPECT_EQ(wxString::FromUTF8(dir / "vdds_mmi_2019-12-13_12-18-02.bak"), first);
    EXPECT_EQ("[BVS]\r\nNAME1=\xC4\r\n", ReadFile(dir / "vdds_mmi_2019-12-13_12-18-02.bak"));

    const wxString second =
        WriteBackup(wxS("other"), wxString::FromUTF8(dir.Path()), when, LocalEncoding());
    EXPECT_EQ(wxString::FromUTF8(dir / "vdds_mmi_2019-12-13_12-18-02_2.bak"), second);
    EXPECT_EQ("[BVS]\r\nNAME1=\xC4\r\n", ReadFile(dir / "vdds_mmi_2019-12-13_12-18-02.bak"));
    EXPECT_EQ("other\r\n", ReadFile(dir / "vdds_mmi_2019-12-13_12-18-02_2.bak"));
}
