// libFuzzer target for the registration edits: any file content is either
// refused, or registered so that readers find the product once, calling this
// program, and a second pass changes nothing; removing the registration
// again leaves the other systems readers saw, in their order, and no entry
// or section of the product.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <wx/init.h>
#include <wx/log.h>

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
    if (result.Is(PassResult::Outcome::AlreadyDone))
        newBytes = oldBytes;
    else if (!result.Is(PassResult::Outcome::Done))
        return 0;

    // Readers find the product once, calling this program; a second pass
    // changes nothing.
    RegistrationFileLines registered;
    if (!ReadRegistrationLines(newBytes, conv, false, registered).Is(PassResult::Outcome::Done))
        abort();
    const ReadersView seen = CRegistrationList(registered.text).View();
    if (std::count_if(seen.systems.begin(), seen.systems.end(),
                      [](const wxString& system)
                      { return IsSameProfileName(system, kProductSection); }) != 1 ||
        seen.program != program)
        abort();
    std::string again;
    if (!BuildRegisteredFile(registered, program, false, conv, again)
             .Is(PassResult::Outcome::AlreadyDone))
        abort();

    // The removal leaves no entry readers see and no section of the product,
    // and the other systems in their order.
    std::string removedBytes;
    if (!BuildUnregisteredFile(
             registered, program, [](const wxString&) { return true; }, conv, removedBytes)
             .Is(PassResult::Outcome::Done))
        abort();
    RegistrationFileLines removed;
    if (!ReadRegistrationLines(removedBytes, conv, false, removed).Is(PassResult::Outcome::Done))
        abort();
    const CRegistrationList after(removed.text);
    std::vector<wxString> others = seen.systems;
    others.erase(std::remove_if(others.begin(), others.end(),
                                [](const wxString& system)
                                { return IsSameProfileName(system, kProductSection); }),
                 others.end());
    if (after.FindSection(kProductSection) != nullptr || after.View().systems != others)
        abort();
    return 0;
}
