#include "registration/listreader.h"

#include <algorithm>

namespace
{

const wxString kListSectionName(wxS("BVS"));

// The characters the profile API skips around lines, keys and values: the
// Unicode blanks and the DOS end-of-file mark ^Z.
bool IsProfileBlank(wxUniChar ch)
{
    const wxUint32 c = ch.GetValue();
    switch (c)
    {
    case ' ':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case 0x1A:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

wxString Trimmed(const wxString& text)
{
    size_t begin = 0;
    size_t end = text.length();
    while (begin < end && IsProfileBlank(text[begin]))
        ++begin;
    while (end > begin && IsProfileBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// The value as GetPrivateProfileString returns it: one pair of matching
// single or double quotes around it removed.
wxString WithoutQuotes(const wxString& value)
{
    if (value.length() >= 2 && (value[0] == '"' || value[0] == '\'') && value.Last() == value[0])
        return value.substr(1, value.length() - 2);
    return value;
}

// A section name that holds "BVS" followed by a blank.
bool IsListLikeName(const wxString& name)
{
    const size_t at = name.find(kListSectionName);
    return at != wxString::npos && at + 3 < name.length() && name[at + 3] == ' ';
}

} // namespace

bool ProfileLine::IsComment() const
{
    return kind == Kind::Key && (name.StartsWith(wxS(";")) || name.StartsWith(wxS("#")));
}

ProfileLine ReadProfileLine(const wxString& line)
{
    ProfileLine read;
    const wxString text = Trimmed(line);
    if (text.empty())
        return read;
    const size_t close = text.rfind(']');
    if (text[0] == '[' && close != wxString::npos)
    {
        read.kind = ProfileLine::Kind::Header;
        read.name = text.substr(1, close - 1);
        return read;
    }
    read.kind = ProfileLine::Kind::Key;
    const size_t equals = text.find('=');
    if (equals == wxString::npos)
    {
        read.name = text;
        return read;
    }
    read.name = Trimmed(text.substr(0, equals));
    read.value = WithoutQuotes(Trimmed(text.substr(equals + 1)));
    read.hasValue = true;
    return read;
}

int ListKeyNumber(const wxString& key)
{
    wxString digits;
    if (!key.Upper().StartsWith(wxS("NAME"), &digits) || digits.empty() || digits[0] == '0' ||
        digits.length() > 9)
        return 0;
    int number = 0;
    for (const wxUniChar ch : digits)
    {
        if (ch < '0' || ch > '9')
            return 0;
        number = number * 10 + static_cast<int>(ch.GetValue() - '0');
    }
    return number;
}

CRegistrationList::CRegistrationList(const std::vector<wxString>& lines)
{
    m_lines.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
    {
        m_lines.push_back(ReadProfileLine(lines[i]));
        if (m_lines.back().kind != ProfileLine::Kind::Header)
            continue;
        if (!m_sections.empty())
            m_sections.back().end = i;
        m_sections.push_back(ProfileSection{i, lines.size(), m_lines.back().name});
    }
    m_list = FindListSection();
    ReadEntries();
}

const ProfileSection* CRegistrationList::FindSection(const wxString& name) const
{
    const auto found = std::find_if(m_sections.begin(), m_sections.end(),
                                    [&](const ProfileSection& section)
                                    { return section.name.IsSameAs(name, false); });
    return found == m_sections.end() ? nullptr : &*found;
}

const ProfileSection* CRegistrationList::FindListSection() const
{
    if (const ProfileSection* list = FindSection(kListSectionName))
        return list;
    const ProfileSection* chosen = nullptr;
    for (const ProfileSection& section : m_sections)
    {
        if (IsListLikeName(section.name) &&
            (chosen == nullptr || section.name.Lower() < chosen->name.Lower()))
            chosen = FindSection(section.name);
    }
    return chosen;
}

wxString CRegistrationList::ListSectionName() const
{
    return m_list != nullptr ? m_list->name : kListSectionName;
}

void CRegistrationList::ReadEntries()
{
    if (m_list == nullptr)
        return;
    for (size_t i = m_list->header + 1; i < m_list->end; ++i)
    {
        const ProfileLine& line = m_lines[i];
        const int number = line.kind == ProfileLine::Kind::Key ? ListKeyNumber(line.name) : 0;
        if (number == 0)
            continue;
        const auto at =
            std::lower_bound(m_entries.begin(), m_entries.end(), number,
                             [](const ListEntry& entry, int n) { return entry.number < n; });
        if (at == m_entries.end() || at->number != number)
            m_entries.insert(at, ListEntry{number, i, line.value});
    }
}

const ListEntry* CRegistrationList::FindEntry(const wxString& system) const
{
    const auto found =
        std::find_if(m_entries.begin(), m_entries.end(),
                     [&](const ListEntry& entry) { return entry.system.IsSameAs(system, false); });
    return found == m_entries.end() ? nullptr : &*found;
}

bool CRegistrationList::Lists(const wxString& system) const
{
    const ListEntry* entry = FindEntry(system);
    return entry != nullptr && entry->number < FirstFreeNumber();
}

int CRegistrationList::FirstFreeNumber() const
{
    int number = 1;
    for (const ListEntry& entry : m_entries)
    {
        if (entry.number != number)
            break;
        ++number;
    }
    return number;
}

size_t CRegistrationList::KeyLine(const ProfileSection& section, const wxString& key) const
{
    for (size_t i = section.header + 1; i < section.end; ++i)
    {
        if (m_lines[i].kind == ProfileLine::Kind::Key && m_lines[i].name.IsSameAs(key, false))
            return i;
    }
    return npos;
}

bool CRegistrationList::Value(const ProfileSection& section, const wxString& key,
                              wxString& value) const
{
    const size_t line = KeyLine(section, key);
    if (line == npos)
        return false;
    value = m_lines[line].value;
    return true;
}

size_t CRegistrationList::LastEntryLine(const ProfileSection& section) const
{
    size_t last = section.header;
    for (size_t i = section.header + 1; i < section.end; ++i)
    {
        if (m_lines[i].IsEntry())
            last = i;
    }
    return last;
}
