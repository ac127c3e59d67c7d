#include "check/profile.h"

#include <wx/msw/wrapwin.h>

namespace
{

// The profile API's lists are strings each ending in a NUL, the last one
// followed by one more NUL; a full buffer asks for a larger one.
template <typename Read> std::vector<wxString> ReadList(Read read)
{
    for (DWORD size = 4096;; size *= 4)
    {
        std::vector<wchar_t> buffer(size);
        const DWORD length = read(buffer.data(), size);
        if (length + 2 >= size && size < (1u << 24))
            continue;
        std::vector<wxString> items;
        for (const wchar_t* item = buffer.data(); *item; item += wcslen(item) + 1)
            items.emplace_back(item);
        return items;
    }
}

} // namespace

std::vector<wxString> ReadProfileSectionNames(const wxString& file)
{
    return ReadList([&](wchar_t* buffer, DWORD size)
                    { return ::GetPrivateProfileSectionNamesW(buffer, size, file.wc_str()); });
}

std::vector<wxString> ReadProfileKeys(const wxString& file, const wxString& section)
{
    return ReadList(
        [&](wchar_t* buffer, DWORD size)
        {
            return ::GetPrivateProfileStringW(section.wc_str(), nullptr, L"", buffer, size,
                                              file.wc_str());
        });
}

wxString ReadProfileString(const wxString& file, const wxString& section, const wxString& key)
{
    wchar_t buffer[4096];
    ::GetPrivateProfileStringW(section.wc_str(), key.wc_str(), L"", buffer, WXSIZEOF(buffer),
                               file.wc_str());
    return wxString(buffer).Trim().Trim(false);
}
