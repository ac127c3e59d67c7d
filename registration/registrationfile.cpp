#include "registration/registrationfile.h"

#include <algorithm>

#include <wx/intl.h>
#include <wx/strconv.h>

#include "common/platform.h"
#include "common/product.h"
#include "registration/filereplace.h"

namespace
{

bool IsAscii(const std::string& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
}

// Text that keeps the line's ASCII characters and stands U+FFFD, which no
// key, value or header the program looks for holds, for every other byte:
// this cannot fail, and cannot turn a byte into structure.
wxString StructureOnly(const std::string& bytes)
{
    wxString text;
    text.reserve(bytes.size());
    for (const char ch : bytes)
    {
        const unsigned char byte = static_cast<unsigned char>(ch);
        text += byte < 0x80 ? wxUniChar(byte) : wxUniChar(0xFFFD);
    }
    return text;
}

// Windows skips every control character and the blank around lines, names,
// keys and values; CR and LF never reach here, as they end lines. A
// non-breaking space or any other Unicode space is text to it.
bool IsProfileBlank(wxUniChar ch)
{
    const wxUint32 c = ch.GetValue();
    return c >= 0x01 && c <= 0x20;
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

PassResult RefusalOf(LineDecoding decoding, size_t index)
{
    const int number = static_cast<int>(index + 1);
    if (decoding == LineDecoding::HoldsNul)
        return PassResult::Refused(wxString::Format(
            _("line %d holds a NUL byte, as a file a crash cut short does; remove the NUL "
              "bytes from the file or restore it from a backup"),
            number));
    return PassResult::Refused(
        wxString::Format(_("line %d is not text in the system's character set; correct the line, "
                           "or ask the vendor whose line it is"),
                         number));
}

} // namespace

std::vector<std::string> SplitLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t next = 0;
    while (next < bytes.size())
    {
        const size_t end = bytes.find_first_of("\r\n", next);
        if (end == std::string::npos)
        {
            lines.push_back(bytes.substr(next));
            break;
        }
        lines.push_back(bytes.substr(next, end - next));
        next = end + 1;
        if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n')
            ++next;
    }
    return lines;
}

bool DecodeText(const std::string& bytes, const wxMBConv& conv, wxString& text)
{
    text.clear();
    if (bytes.empty())
        return true;
    // Bytes that cannot be decoded give no text at all.
    text = wxString(bytes.data(), conv, bytes.size());
    return !text.empty();
}

bool IsDoubleByteCodePage(unsigned codePage)
{
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
           codePage == 1361;
}

PassResult ReadRegistrationLines(const std::string& bytes, const wxMBConv& conv, bool doubleByte,
                                 RegistrationFileLines& lines)
{
    lines.bytes = SplitLines(bytes);
    lines.text.clear();
    lines.decoding.clear();
    lines.text.reserve(lines.bytes.size());
    lines.decoding.reserve(lines.bytes.size());
    for (const std::string& line : lines.bytes)
    {
        wxString text;
        LineDecoding decoding = LineDecoding::Text;
        if (line.find('\0') != std::string::npos)
            decoding = LineDecoding::HoldsNul;
        else if (IsAscii(line))
            text = wxString::FromAscii(line.data(), line.size());
        else if (!DecodeText(line, conv, text))
            decoding = doubleByte ? LineDecoding::Unknown : LineDecoding::StructureOnly;
        if (decoding != LineDecoding::Text)
            text = StructureOnly(line);
        lines.text.push_back(text);
        lines.decoding.push_back(decoding);
    }
    const auto refused = std::find_if(lines.decoding.begin(), lines.decoding.end(),
                                      [](LineDecoding decoding) {
                                          return decoding == LineDecoding::Unknown ||
                                                 decoding == LineDecoding::HoldsNul;
                                      });
    if (refused != lines.decoding.end())
        return RefusalOf(*refused, static_cast<size_t>(refused - lines.decoding.begin()));
    return PassResult::Of(PassResult::Outcome::Done);
}

PassResult ReadRegistrationFile(const wxString& path, std::string& bytes,
                                RegistrationFileLines& lines)
{
    const PassResult read = ReadWholeFile(path, bytes);
    if (!read.Is(PassResult::Outcome::Done))
        return read;
    return ReadRegistrationLines(bytes, LocalEncoding(), IsDoubleByteCodePage(AnsiCodePage()),
                                 lines);
}

ProfileLine ReadProfileLine(const wxString& line)
{
    ProfileLine read;
    const wxString text = Trimmed(line);
    if (text.empty())
        return read;
    if (text[0] == '[')
    {
        read.kind = ProfileLine::Kind::Header;
        read.name = Trimmed(text.substr(1).BeforeFirst(']'));
        return read;
    }
    if (text[0] == ';')
    {
        read.kind = ProfileLine::Kind::Comment;
        return read;
    }
    const size_t equals = text.find('=');
    if (equals == wxString::npos)
    {
        read.kind = ProfileLine::Kind::Text;
        read.name = text;
        return read;
    }
    read.kind = ProfileLine::Kind::Entry;
    read.name = Trimmed(text.substr(0, equals));
    read.value = WithoutQuotes(Trimmed(text.substr(equals + 1)));
    return read;
}

bool IsSameProfileName(const wxString& a, const wxString& b)
{
    // Each character is compared in upper case, as Windows compares names:
    // no folding of one character into two.
    return a.length() == b.length() && a.Upper() == b.Upper();
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

bool ReadersView::Lists(const wxString& system) const
{
    return std::any_of(systems.begin(), systems.end(),
                       [&](const wxString& listed) { return IsSameProfileName(listed, system); });
}

wxString ReadersView::JoinedSystems() const
{
    wxString joined;
    for (const wxString& system : systems)
        joined += (joined.empty() ? wxString() : wxString(wxS(", "))) + system;
    return joined;
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
    m_list = FindSection(kListSectionName);
    ReadEntries();
}

const ProfileSection* CRegistrationList::FindSection(const wxString& name) const
{
    const auto found = std::find_if(m_sections.begin(), m_sections.end(),
                                    [&](const ProfileSection& section)
                                    { return IsSameProfileName(section.name, name); });
    return found == m_sections.end() ? nullptr : &*found;
}

void CRegistrationList::ReadEntries()
{
    if (m_list == nullptr)
        return;
    for (size_t i = m_list->header + 1; i < m_list->end; ++i)
    {
        const ProfileLine& line = m_lines[i];
        const int number = line.kind == ProfileLine::Kind::Entry ? ListKeyNumber(line.name) : 0;
        if (number != 0)
            m_keys.push_back(ListEntry{number, i, line.value});
    }
    for (const ListEntry& key : m_keys)
    {
        const auto at =
            std::lower_bound(m_entries.begin(), m_entries.end(), key.number,
                             [](const ListEntry& entry, int n) { return entry.number < n; });
        if (at == m_entries.end() || at->number != key.number)
            m_entries.insert(at, key);
    }
}

const ListEntry* CRegistrationList::Entry(int number) const
{
    const auto at =
        std::lower_bound(m_entries.begin(), m_entries.end(), number,
                         [](const ListEntry& entry, int n) { return entry.number < n; });
    return at == m_entries.end() || at->number != number ? nullptr : &*at;
}

const ListEntry* CRegistrationList::FindEntry(const wxString& system) const
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const ListEntry& entry)
                                    { return IsSameProfileName(entry.system, system); });
    return found == m_entries.end() ? nullptr : &*found;
}

int CRegistrationList::StopNumber() const
{
    int number = 1;
    for (const ListEntry& entry : m_entries)
    {
        if (entry.number != number || entry.system.empty())
            break;
        ++number;
    }
    return number;
}

bool CRegistrationList::Lists(const wxString& system) const
{
    const ListEntry* entry = FindEntry(system);
    return entry != nullptr && entry->number < StopNumber();
}

ReadersView CRegistrationList::View() const
{
    ReadersView view;
    const int stop = StopNumber();
    for (const ListEntry& entry : m_entries)
    {
        if (entry.number >= stop)
            break;
        view.systems.push_back(entry.system);
    }
    if (const ProfileSection* product = FindSection(kProductSection))
        Value(*product, wxS("PATDATIMPORT"), view.program);
    return view;
}

size_t CRegistrationList::KeyLine(const ProfileSection& section, const wxString& key) const
{
    for (size_t i = section.header + 1; i < section.end; ++i)
    {
        if (m_lines[i].kind == ProfileLine::Kind::Entry && IsSameProfileName(m_lines[i].name, key))
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
        if (m_lines[i].kind == ProfileLine::Kind::Entry)
            last = i;
    }
    return last;
}
