#include "registration/systemreader.h"

#include <algorithm>
#include <map>
#include <vector>

#include <wx/intl.h>
#include <wx/msw/wrapwin.h>

#include "common/product.h"
#include "registration/filereplace.h"

namespace
{

// The largest list section read in one call; a larger one is read key by
// key.
const size_t kMostSectionChars = 16u << 20;

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

// The lines GetPrivateProfileSectionW returns for `section`, each "key=value"
// or a line without "=", in file order: one reading of the file for the whole
// section. False when the section is larger than kMostSectionChars.
bool SectionLines(const wxString& path, const wxString& section, std::vector<wxString>& lines)
{
    std::vector<wchar_t> buffer(32768);
    DWORD length = 0;
    for (;;)
    {
        length = ::GetPrivateProfileSectionW(section.wc_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), path.wc_str());
        // A section cut to fit returns two characters short of the buffer.
        if (length + 2 < buffer.size())
            break;
        if (buffer.size() >= kMostSectionChars)
            return false;
        buffer.resize(std::min(buffer.size() * 4, kMostSectionChars));
    }
    lines.clear();
    for (size_t start = 0; start < length;)
    {
        const wxString line(&buffer[start]);
        lines.push_back(line);
        start += line.length() + 1;
    }
    return true;
}

// The first value of each key in a section's lines, by the key's name in
// upper case, as the lines give it: the reader has already trimmed each
// line, so its text up to the first "=" is the key. A line without "=" names
// no key.
std::map<wxString, wxString> FirstValues(const std::vector<wxString>& lines)
{
    std::map<wxString, wxString> values;
    for (const wxString& line : lines)
    {
        if (line.Find('=') != wxNOT_FOUND)
            values.emplace(line.BeforeFirst('=').Strip(wxString::both).Upper(),
                           line.AfterFirst('='));
    }
    return values;
}

// Whether a reader keeps blanks or quotes at the ends of a value in the lines
// of a whole section is not settled; a value without them reads the same
// either way.
bool ReadsTheSameInASection(const wxString& value)
{
    const auto plain = [](wxUniChar ch) { return ch > ' ' && ch != '"' && ch != '\''; };
    return value.empty() || (plain(value[0]) && plain(value.Last()));
}

// The list as the reader counts it: from the lines of the list section where
// the reader gave them in one piece and they leave no doubt, otherwise key by
// key.
std::vector<wxString> ListedSystems(const wxString& path)
{
    std::vector<wxString> lines;
    bool whole = SectionLines(path, kListSectionName, lines);
    const std::map<wxString, wxString> values = FirstValues(lines);
    std::vector<wxString> systems;
    for (int number = 1; number <= kMostListNumbers; ++number)
    {
        const wxString key = wxString::Format(wxS("NAME%d"), number);
        const auto found = values.find(key);
        // The number the section's lines stop at is asked of the reader on
        // its own too: where a lookup finds what the section did not give
        // (a reader that joins sections of one name, say), the lookups
        // count from there.
        if (whole && found == values.end())
        {
            const wxString system = ProfileString(path, kListSectionName, key);
            if (system.empty())
                break;
            whole = false;
            systems.push_back(system);
            continue;
        }
        const wxString system = whole && ReadsTheSameInASection(found->second)
                                    ? found->second
                                    : ProfileString(path, kListSectionName, key);
        if (system.empty())
            break;
        systems.push_back(system);
    }
    return systems;
}

// Opens the file for reading as the profile API opens it, so that while it
// is open no other program can take the file for itself; a missing file
// gives no handle and no error.
bool HoldForReading(const wxString& path, HANDLE& held, unsigned long& error)
{
    return TryWhileBusy(
        [&](unsigned long& openError)
        {
            held = ::CreateFileW(path.wc_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (held != INVALID_HANDLE_VALUE)
                return true;
            openError = ::GetLastError();
            return openError == ERROR_FILE_NOT_FOUND;
        },
        error);
}

} // namespace

PassResult ReadWithSystemReader(const wxString& path, ReadersView& view)
{
    view = ReadersView();
    // The profile API answers a file it cannot open as one without the key,
    // so the file is held open around the reading: a program that holds it
    // for itself is waited for first, and none can take it meanwhile.
    HANDLE held = INVALID_HANDLE_VALUE;
    unsigned long error = 0;
    if (!HoldForReading(path, held, error))
        return PassResult::Refused(_("the file could not be opened"), error);
    // All three names null: the profile API drops what it holds of the file
    // and reads it again on the next call.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.wc_str());
    view.systems = ListedSystems(path);
    view.program = ProfileString(path, kProductSection, wxS("PATDATIMPORT"));
    if (held != INVALID_HANDLE_VALUE)
        ::CloseHandle(held);
    return PassResult::Of(PassResult::Outcome::Done);
}

bool HasSystemReader()
{
    return true;
}
