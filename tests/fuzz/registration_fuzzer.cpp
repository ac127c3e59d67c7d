// libFuzzer target for the registration edit: any file content must either
// come back with every old line kept byte for byte, in order, and the product
// section at the end, or be refused without a write.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <wx/init.h>
#include <wx/log.h>

#include "../subsequence.h"
#include "starter/iniedit.h"
#include "starter/platform.h"

namespace
{

std::string g_iniPath;

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
    const std::string oldBytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(g_iniPath, std::ios::binary | std::ios::trunc) << oldBytes;

    const wxCSConv conv = LocalEncoding();
    wxString oldText;
    if (!DecodeText(oldBytes, conv, oldText))
        return 0;

    const wxString program(wxS("C:\\Program Files\\Tivora\\tvdds.exe"));
    std::string newBytes;
    const PassResult result = BuildRegisteredFile(wxString::FromUTF8(g_iniPath), oldBytes, oldText,
                                                  program, false, conv, newBytes);
    if (!result.Is(PassResult::Outcome::Done))
        return 0;

    std::string expectedEnd;
    for (const wxString& line : ProductSectionLines(program, false))
        expectedEnd += line.ToStdString() + "\r\n";
    if (newBytes.size() < expectedEnd.size() ||
        newBytes.compare(newBytes.size() - expectedEnd.size(), expectedEnd.size(), expectedEnd) !=
            0)
        abort();
    const std::string edited = newBytes.substr(0, newBytes.size() - expectedEnd.size());
    if (!IsSubsequence(SplitLines(oldBytes), SplitLines(edited)))
        abort();
    return 0;
}
