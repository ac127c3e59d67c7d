// libFuzzer target for the registration edits: any file content must either
// come back with every old line kept byte for byte, in order, and the product
// section at the end, or be refused without a write; removing the
// registration again must leave no entry and no section of the product.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <wx/init.h>
#include <wx/log.h>

#include "../subsequence.h"
#include "common/platform.h"
#include "common/product.h"
#include "registration/iniedit.h"
#include "registration/registrationfile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    wxInitialize();
    wxSetAssertHandler(nullptr);
    wxLog::EnableLogging(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string oldBytes(reinterpret_cast<const char*>(data), size);
    const wxCSConv conv = LocalEncoding();
    RegistrationFileLines oldLines;
    if (!ReadRegistrationLines(oldBytes, conv, false, oldLines).Is(PassResult::Outcome::Done))
        return 0;

    const wxString program(wxS("C:\\Program Files\\Tivora\\tvdds.exe"));
    std::string newBytes;
    const PassResult result = BuildRegisteredFile(oldLines, program, false, conv, newBytes);
    // A file that holds a product section of its own is corrected in place.
    if (!result.Is(PassResult::Outcome::Done) ||
        CRegistrationList(oldLines.text).FindSection(kProductSection))
        return 0;

    std::string expectedEnd;
    for (const wxString& line : ProductSectionLines(program, false))
        expectedEnd += line.ToStdString() + "\r\n";
    if (newBytes.size() < expectedEnd.size() ||
        newBytes.compare(newBytes.size() - expectedEnd.size(), expectedEnd.size(), expectedEnd) !=
            0)
        abort();
    const std::string edited = newBytes.substr(0, newBytes.size() - expectedEnd.size());
    // A product entry behind a gap in the list is given the free number.
    const CRegistrationList before(oldLines.text);
    const bool hidden = before.FindEntry(kProductSection) && !before.Lists(kProductSection);
    if (!hidden && !IsSubsequence(SplitLines(oldBytes), SplitLines(edited)))
        abort();

    RegistrationFileLines registered;
    std::string removedBytes;
    if (!ReadRegistrationLines(newBytes, conv, false, registered).Is(PassResult::Outcome::Done) ||
        !BuildUnregisteredFile(
             registered, program, [](const wxString&) { return true; }, conv, removedBytes)
             .Is(PassResult::Outcome::Done))
        abort();
    RegistrationFileLines removed;
    if (!ReadRegistrationLines(removedBytes, conv, false, removed).Is(PassResult::Outcome::Done))
        abort();
    const CRegistrationList after(removed.text);
    if (after.FindSection(kProductSection) != nullptr ||
        after.FindEntry(kProductSection) != nullptr)
        abort();
    return 0;
}
