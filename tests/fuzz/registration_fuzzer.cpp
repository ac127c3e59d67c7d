// libFuzzer target for the registration edit: any file content must either
// come back with every old line kept, in order, and the product section at
// the end, or be refused without a write.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include <wx/init.h>
#include <wx/log.h>

#include "starter/localencoding.h"
#include "starter/vddsregistration.h"

namespace
{

std::string g_iniPath;

bool IsSubsequence(const wxArrayString& part, const wxArrayString& whole)
{
    size_t matched = 0;
    for (const wxString& line : whole)
        if (matched < part.size() && line == part[matched])
            ++matched;
    return matched == part.size();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    wxInitialize();
    wxSetAssertHandler(nullptr);
    wxLog::EnableLogging(false);
    g_iniPath = "/tmp/tvdds-fuzz-" + std::to_string(getpid()) + ".ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::ofstream(g_iniPath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    const wxCSConv conv = LocalEncoding();
    wxString oldText;
    if (!DecodeText(std::string(reinterpret_cast<const char*>(data), size), conv, oldText))
        return 0;

    const wxString program(wxS("C:\\Program Files\\Tivora\\tvdds.exe"));
    wxString newText;
    const RegistrationOutcome outcome =
        BuildRegisteredText(wxString::FromUTF8(g_iniPath), oldText, program, false, conv, newText);
    if (outcome != RegistrationOutcome::Added)
        return 0;

    wxString expectedEnd;
    for (const wxString& line : ProductSectionLines(program, false))
        expectedEnd << line << wxS("\r\n");
    if (!newText.EndsWith(expectedEnd))
        abort();
    const wxString edited = newText.Left(newText.length() - expectedEnd.length());
    if (!IsSubsequence(SplitLines(oldText), SplitLines(edited)))
        abort();
    return 0;
}
