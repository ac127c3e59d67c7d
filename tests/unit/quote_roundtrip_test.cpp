#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include "starter/launchrules.h"

namespace
{

// What the client's own argument parsing makes of "tivoracl.exe " + quoted.
std::vector<std::wstring> ParsedByClient(const wxString& argument)
{
    const wxString commandLine = wxS("tivoracl.exe ") + QuoteWindowsArgument(argument);
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(commandLine.wc_str(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    ::LocalFree(argv);
    return args;
}

} // namespace

TEST(QuoteWindowsArgument, HostileArgumentsRoundTripThroughCommandLineToArgvW)
{
    const wchar_t* const hostile[] = {
        L"C:\\VDDS Daten\\patient.ini",
        L"C:\\VDDS\\patient.ini",
        L"",
        L" ",
        L"\t",
        L"\"",
        L"\"\"",
        L"a\"b c",
        L"a\\\"b",
        L"a\\\\\"b",
        L"C:\\My Dir\\",
        L"C:\\My Dir\\\\",
        L"\\\\server\\share name\\x.ini",
        L"ends with quote\"",
        L"\\\"",
        L"trailing\\\\\\",
        L"x \"y\" \\z\\ \"",
        L"Z\u00e4hne \u00f6 \u20ac",
        L"tab\there",
    };
    for (const wchar_t* argument : hostile)
    {
        const std::vector<std::wstring> parsed = ParsedByClient(argument);
        ASSERT_EQ(1u, parsed.size()) << wxString(argument);
        EXPECT_EQ(std::wstring(argument), parsed[0]);
    }
}
