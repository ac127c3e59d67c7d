#include <gtest/gtest.h>

#include <filesystem>

#include <wx/filefn.h>

#include "common/pathrules.h"
#include "common/product.h"
#include "starter/launchrules.h"
#include "testdir.h"

namespace
{

wxString Sep(const char* path)
{
    wxString text(path);
    text.Replace(wxS("\\"), wxString(wxFILE_SEP_PATH));
    return text;
}

} // namespace

TEST(StripOneTrailingSeparator, RemovesExactlyOneSeparator)
{
    EXPECT_EQ(Sep("C:\\Tivora"), StripOneTrailingSeparator(Sep("C:\\Tivora\\")));
    EXPECT_EQ(Sep("C:\\Tivora\\"), StripOneTrailingSeparator(Sep("C:\\Tivora\\\\")));
    EXPECT_EQ(Sep("C:\\Tivora"), StripOneTrailingSeparator(Sep("C:\\Tivora")));
    EXPECT_EQ(wxString(), StripOneTrailingSeparator(Sep("\\")));
    EXPECT_EQ(wxString(), StripOneTrailingSeparator(wxString()));
}

TEST(ArgumentRules, CallerAndSetUpTokensAreCaseSensitiveSubstrings)
{
    EXPECT_TRUE(IsDsWinCaller(wxS("C:\\DSWIN\\dswin.exe")));
    EXPECT_TRUE(IsDsWinCaller(wxS("xdswinx")));
    EXPECT_FALSE(IsDsWinCaller(wxS("C:\\DSWIN\\DSWIN.EXE")));
    EXPECT_FALSE(IsDsWinCaller(wxString()));

    EXPECT_TRUE(IsInitSetupRequest(wxS("initsetup")));
    EXPECT_TRUE(IsInitSetupRequest(wxS("x_initsetup_y")));
    EXPECT_FALSE(IsInitSetupRequest(wxS("INITSETUP")));
    EXPECT_FALSE(IsInitSetupRequest(wxS("C:\\VDDS\\patient.ini")));
}

TEST(QuoteWindowsArgument, LeavesPlainArgumentsAlone)
{
    EXPECT_EQ(wxS("C:\\VDDS\\patient.ini"), QuoteWindowsArgument(wxS("C:\\VDDS\\patient.ini")));
    EXPECT_EQ(wxS("C:\\VDDS\\"), QuoteWindowsArgument(wxS("C:\\VDDS\\")));
}

TEST(QuoteWindowsArgument, QuotesBlanksTabsQuotesAndEmptyText)
{
    EXPECT_EQ(wxS("\"C:\\VDDS Daten\\patient.ini\""),
              QuoteWindowsArgument(wxS("C:\\VDDS Daten\\patient.ini")));
    EXPECT_EQ(wxS("\"a\tb\""), QuoteWindowsArgument(wxS("a\tb")));
    EXPECT_EQ(wxS("\"\""), QuoteWindowsArgument(wxString()));
    // Backslashes before a quote, escaped or closing, are doubled.
    EXPECT_EQ(wxS("\"a\\\"b\""), QuoteWindowsArgument(wxS("a\"b")));
    EXPECT_EQ(wxS("\"a\\\\\\\"b\""), QuoteWindowsArgument(wxS("a\\\"b")));
    EXPECT_EQ(wxS("\"C:\\My Dir\\\\\""), QuoteWindowsArgument(wxS("C:\\My Dir\\")));
}

TEST(IsUsableInstallPath, OnlyAbsolutePathsWithoutOuterBlanks)
{
    for (const char* usable : {"C:\\Program Files\\Tivora", "C:", "d:\\x", "\\\\server\\share",
                               "\\\\server\\share\\Tivora"})
        EXPECT_TRUE(IsUsableInstallPath(wxString::FromUTF8(usable), wxPATH_DOS)) << usable;
    for (const char* unusable : {"tivora", "C:tivora", "C:\\tivora ", " C:\\tivora", "\\tivora",
                                 "\\\\server", "\\\\\\share", "C:/tivora", ""})
        EXPECT_FALSE(IsUsableInstallPath(wxString::FromUTF8(unusable), wxPATH_DOS)) << unusable;

    EXPECT_TRUE(IsUsableInstallPath(wxS("/opt/tivora"), wxPATH_UNIX));
    EXPECT_FALSE(IsUsableInstallPath(wxS("opt/tivora"), wxPATH_UNIX));
    EXPECT_FALSE(IsUsableInstallPath(wxS("/opt/tivora "), wxPATH_UNIX));
}

// Fault guarded against: a client planted in the caller's current directory
// was started, as the system's search looks there before PATH.
TEST(FindClient, BesideTheProgramThenAbsolutePathEntriesNeverTheCurrentDirectory)
{
    TestDir dir;
    for (const char* where : {"program", "cwd", "onpath"})
    {
        std::filesystem::create_directory(dir / where);
        WriteFile(dir / where + "/" + kClientFileName.ToStdString(), "");
    }
    std::filesystem::create_directory(dir / "empty");
    const wxString program = wxString::FromUTF8(dir / "program");
    const wxString empty = wxString::FromUTF8(dir / "empty");
    const wxString onPath = wxString::FromUTF8(dir / "onpath");
    const wxString client = wxS("/") + kClientFileName;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir / "cwd");
    const wxString relative = wxS(".:cwd:../cwd::") + empty;

    EXPECT_EQ(program + client, FindClient(program, relative + wxS(":") + onPath));
    EXPECT_EQ(onPath + client, FindClient(empty, relative + wxS(":\"") + onPath + wxS("/\"")));
    EXPECT_EQ(wxString(), FindClient(empty, relative));
    EXPECT_EQ(wxString(), FindClient(wxS("."), wxString()));
    std::filesystem::current_path(previous);
}
