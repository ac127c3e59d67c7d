#include "registration/registrationfile.h"

#include <algorithm>

#include <wx/intl.h>
#include <wx/strconv.h>

#include "common/platform.h"
#include "common/product.h"
#include "registration/backup.h"
#include "registration/filereplace.h"

namespace
{

bool IsAscii(const std::string& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
}

// Text that keeps the line's ASCII characters and stands U+FFFD, which no
// key, value or header the program looks for holds, for every other code
// unit: this cannot fail, and cannot turn a byte into structure.
wxString StructureOnly(const std::string& bytes, FileEncoding encoding)
{
    wxString text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size(); at += CodeUnitSize(encoding))
    {
        const unsigned unit = CodeUnitAt(bytes, at, encoding);
        text += unit < 0x80 ? wxUniChar(unit) : wxUniChar(0xFFFD);
    }
    return text;
}

bool IsHighSurrogate(unsigned unit)
{
    return unit >= 0xD800 && unit < 0xDC00;
}

bool IsLowSurrogate(unsigned unit)
{
    return unit >= 0xDC00 && unit < 0xE000;
}

// Decodes the code units itself, so that half a character is found on every
// platform: a UTF-16 conversion where wide characters are UTF-16 copies it.
LineDecoding DecodeUtf16LeLine(const std::string& line, wxString& text)
{
    std::wstring wide;
    wide.reserve(line.size() / 2);
    for (size_t at = 0; at < line.size(); at += 2)
    {
        const unsigned unit = CodeUnitAt(line, at, FileEncoding::Utf16Le);
        if (unit == 0)
            return LineDecoding::HoldsNul;
        if (IsLowSurrogate(unit))
            return LineDecoding::Unknown;
        if (!IsHighSurrogate(unit))
        {
            wide += static_cast<wchar_t>(unit);
            continue;
        }
        at += 2;
        const unsigned low = at < line.size() ? CodeUnitAt(line, at, FileEncoding::Utf16Le) : 0;
        if (!IsLowSurrogate(low))
            return LineDecoding::Unknown;
        if (sizeof(wchar_t) == 2)
            wide.append({static_cast<wchar_t>(unit), static_cast<wchar_t>(low)});
        else
            wide += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    }
    text = wxString(wide);
    return LineDecoding::Text;
}

LineDecoding DecodeAnsiLine(const std::string& line, const wxMBConv& conv, bool doubleByte,
                            wxString& text)
{
    if (line.find('\0') != std::string::npos)
        return LineDecoding::HoldsNul;
    if (IsAscii(line))
    {
        text = wxString::FromAscii(line.data(), line.size());
        return LineDecoding::Text;
    }
    if (DecodeText(line, conv, text))
        return LineDecoding::Text;
    return doubleByte ? LineDecoding::Unknown : LineDecoding::StructureOnly;
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

// What to do with a damaged file: put back its newest backup in
// `backupDir`, named when there is one.
wxString RestoreAdvice(const wxString& backupDir)
{
    const wxString newest = backupDir.empty() ? wxString() : NewestBackup(backupDir);
    if (newest.empty())
        return _("restore the file from a backup");
    return wxString::Format(_("restore the file from its newest backup, %s"), newest);
}

PassResult RefusalOf(LineDecoding decoding, size_t index, FileEncoding encoding,
                     const wxString& backupDir)
{
    const int number = static_cast<int>(index + 1);
    const bool utf16 = encoding == FileEncoding::Utf16Le;
    if (decoding == LineDecoding::HoldsNul)
        return PassResult::Refused(wxString::Format(
            utf16 ? _("line %d holds a NUL character (U+0000), as a file a crash cut short "
                      "does; %s")
                  : _("line %d holds a NUL byte, as a file a crash cut short does; %s"),
            number, RestoreAdvice(backupDir)));
    if (utf16)
        return PassResult::Refused(
            wxString::Format(_("line %d of this UTF-16LE file holds half a character (a broken "
                               "surrogate pair), as a damaged file does; %s"),
                             number, RestoreAdvice(backupDir)));
    return PassResult::Refused(
        wxString::Format(_("line %d is not text in the system's character set; correct the line, "
                           "or ask the vendor whose line it is"),
                         number));
}

// More lines than any registration file holds: each line read takes a few
// hundred bytes, which the 32-bit program must still have for a file of
// this many.
const size_t kMostFileLines = 1000000;

// The number of line ends in `bytes`: every CR, LF or CR LF, in UTF-16LE
// code units where the file is UTF-16LE.
size_t LineEnds(const std::string& bytes, FileEncoding encoding)
{
    const size_t unit = encoding == FileEncoding::Utf16Le ? 2 : 1;
    const auto isLineEnd = [&](size_t at, char ch)
    { return bytes[at] == ch && (unit == 1 || bytes[at + 1] == '\0'); };
    size_t ends = 0;
    for (size_t at = 0; at + unit <= bytes.size(); at += unit)
        if (isLineEnd(at, '\n') || (isLineEnd(at, '\r') &&
                                    !(at + 2 * unit <= bytes.size() && isLineEnd(at + unit, '\n'))))
            ++ends;
    return ends;
}

// A file no reader can read as a whole; Done when there is no such reason.
PassResult WholeFileRefusal(const std::string& bytes, const wxString& backupDir)
{
    if (HasUtf16BigEndianMark(bytes))
        return PassResult::Refused(wxString::Format(
            _("the file is UTF-16BE text (it starts with the bytes FE FF), which Windows reads as "
              "ANSI bytes, so that no program finds its entries; %s, or save it again as ANSI "
              "text or as UTF-16LE (\"Unicode\")"),
            RestoreAdvice(backupDir)));
    if (EncodingOf(bytes) == FileEncoding::Utf16Le && bytes.size() % 2 != 0)
        return PassResult::Refused(wxString::Format(
            _("the file is UTF-16LE text (it starts with the bytes FF FE) with an odd number of "
              "bytes, as a file cut short is; %s"),
            RestoreAdvice(backupDir)));
    if (LineEnds(bytes, EncodingOf(bytes)) > kMostFileLines)
        return PassResult::Refused(wxString::Format(
            _("the file has more than %d lines, which no registration file needs; it is "
              "probably damaged; %s"),
            static_cast<int>(kMostFileLines), RestoreAdvice(backupDir)));
    return PassResult::Of(PassResult::Outcome::Done);
}

} // namespace

FileEncoding EncodingOf(const std::string& bytes)
{
    return bytes.compare(0, 2, "\xFF\xFE") == 0 ? FileEncoding::Utf16Le : FileEncoding::Ansi;
}

bool HasUtf16BigEndianMark(const std::string& bytes)
{
    return bytes.compare(0, 2, "\xFE\xFF") == 0;
}

std::string ByteOrderMark(FileEncoding encoding)
{
    return encoding == FileEncoding::Utf16Le ? std::string("\xFF\xFE") : std::string();
}

std::string EncodedAscii(const std::string& ascii, FileEncoding encoding)
{
    if (encoding == FileEncoding::Ansi)
        return ascii;
    std::string encoded;
    encoded.reserve(2 * ascii.size());
    for (const char ch : ascii)
        encoded.append(1, ch).append(1, '\0');
    return encoded;
}

size_t CodeUnitSize(FileEncoding encoding)
{
    return encoding == FileEncoding::Utf16Le ? 2 : 1;
}

unsigned CodeUnitAt(const std::string& bytes, size_t at, FileEncoding encoding)
{
    const unsigned low = static_cast<unsigned char>(bytes[at]);
    if (encoding == FileEncoding::Ansi)
        return low;
    return low | static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

std::vector<std::string> SplitLines(const std::string& bytes, FileEncoding encoding)
{
    const size_t unit = CodeUnitSize(encoding);
    std::vector<std::string> lines;
    size_t start = ByteOrderMark(encoding).size();
    size_t at = start;
    while (at + unit <= bytes.size())
    {
        const unsigned ch = CodeUnitAt(bytes, at, encoding);
        at += unit;
        if (ch != '\r' && ch != '\n')
            continue;
        lines.push_back(bytes.substr(start, at - unit - start));
        if (ch == '\r' && at + unit <= bytes.size() && CodeUnitAt(bytes, at, encoding) == '\n')
            at += unit;
        start = at;
    }
    if (start < bytes.size())
        lines.push_back(bytes.substr(start));
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
                                 RegistrationFileLines& lines, const wxString& backupDir)
{
    lines.encoding = EncodingOf(bytes);
    lines.bytes.clear();
    lines.text.clear();
    lines.decoding.clear();
    const PassResult whole = WholeFileRefusal(bytes, backupDir);
    if (!whole.Is(PassResult::Outcome::Done))
        return whole;
    lines.bytes = SplitLines(bytes, lines.encoding);
    lines.text.reserve(lines.bytes.size());
    lines.decoding.reserve(lines.bytes.size());
    for (const std::string& line : lines.bytes)
    {
        wxString text;
        const LineDecoding decoding = lines.encoding == FileEncoding::Utf16Le
                                          ? DecodeUtf16LeLine(line, text)
                                          : DecodeAnsiLine(line, conv, doubleByte, text);
        if (decoding != LineDecoding::Text)
            text = StructureOnly(line, lines.encoding);
        lines.text.push_back(text);
        lines.decoding.push_back(decoding);
    }
    const auto refused = std::find_if(lines.decoding.begin(), lines.decoding.end(),
                                      [](LineDecoding decoding) {
                                          return decoding == LineDecoding::Unknown ||
                                                 decoding == LineDecoding::HoldsNul;
                                      });
    if (refused != lines.decoding.end())
        return RefusalOf(*refused, static_cast<size_t>(refused - lines.decoding.begin()),
                         lines.encoding, backupDir);
    return PassResult::Of(PassResult::Outcome::Done);
}

PassResult ReadRegistrationFile(const wxString& path, std::string& bytes,
                                RegistrationFileLines& lines, const wxString& backupDir)
{
    const PassResult read = ReadWholeFile(path, bytes);
    if (!read.Is(PassResult::Outcome::Done))
        return read;
    return ReadRegistrationLines(bytes, LocalEncoding(), IsDoubleByteCodePage(AnsiCodePage()),
                                 lines, backupDir);
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
