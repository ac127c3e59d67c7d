#include "registration/systemreader.h"

#include <vector>

#include <wx/msw/wrapwin.h>

#include "common/product.h"

namespace
{

// More numbers than any list holds; a reader that counts further is not
// followed.
const int kMostListNumbers = 100000;

// What GetPrivateProfileStringW returns, however long the value.
wxString ProfileString(const wxString& path, const wxString& section, const wxString& key)
{
    std::vector<wchar_t> buffer(1024);
    for (;;)
    {
        const DWORD length =
            ::GetPrivateProfileStringW(section.wc_str(), key.wc_str(), L"", buffer.data(),
                                       static_cast<DWORD>(buffer.size()), path.wc_str());
        // A value cut to fit leaves exactly one character short of the buffer.
        if (length + 1 < buffer.size() || buffer.size() >= (1u << 20))
            return wxString(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

} // namespace

bool ReadWithSystemReader(const wxString& path, ReadersView& view)
{
    // All three names null: the profile API drops what it holds of the file
    // and reads it again on the next call.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.wc_str());
    view = ReadersView();
    for (int number = 1; number <= kMostListNumbers; ++number)
    {
        const wxString system =
            ProfileString(path, kListSectionName, wxString::Format(wxS("NAME%d"), number));
        if (system.empty())
            break;
        view.systems.push_back(system);
    }
    view.program = ProfileString(path, kProductSection, wxS("PATDATIMPORT"));
    return true;
}
