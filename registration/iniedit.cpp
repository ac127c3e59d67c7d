#include "registration/iniedit.h"

#include <algorithm>
#include <map>

#include <wx/intl.h>
#include <wx/strconv.h>

#include "common/product.h"
#include "registration/listreader.h"

namespace
{

const char kCrLf[] = "\r\n";

// The key that only the DS-Win variant of the product's section holds.
const wxString kDsWinOnlyKey(wxS("MMOVIEW"));

PassResult Unencodable()
{
    return PassResult::Refused(
        _("the installation directory cannot be written in the system's character set"));
}

bool IsAscii(const std::string& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
}

// Text that keeps the file's ASCII characters and stands U+FFFD, which no
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

// The new file as the old lines with some of them replaced or removed and
// new lines inserted: every other line is copied as its bytes were.
class CLineSplice
{
public:
    explicit CLineSplice(const wxMBConv& conv) : m_conv(conv) {}

    // Puts `text` before line `line` (the number of lines: at the end), after
    // whatever was put there before.
    void InsertBefore(size_t line, const wxString& text) { Encode(text, m_inserted[line]); }
    void Replace(size_t line, const wxString& text) { Encode(text, m_replaced[line]); }
    void ReplaceBytes(size_t line, const std::string& bytes) { m_replaced[line] = {bytes}; }
    void Remove(size_t line) { m_replaced[line].clear(); }

    bool IsEmpty() const { return m_inserted.empty() && m_replaced.empty(); }

    PassResult Apply(const std::vector<std::string>& oldLines, std::string& newBytes) const
    {
        if (!m_encodable)
            return Unencodable();
        size_t size = 0;
        for (const std::string& line : oldLines)
            size += line.size() + 2;
        newBytes.clear();
        newBytes.reserve(size + 512);
        for (size_t i = 0; i <= oldLines.size(); ++i)
        {
            Append(m_inserted, i, newBytes);
            if (i == oldLines.size())
                break;
            if (m_replaced.count(i) != 0)
                Append(m_replaced, i, newBytes);
            else
                newBytes.append(oldLines[i]).append(kCrLf);
        }
        return PassResult::Of(PassResult::Outcome::Done);
    }

private:
    using LinesAt = std::map<size_t, std::vector<std::string>>;

    void Encode(const wxString& text, std::vector<std::string>& into)
    {
        std::string bytes;
        m_encodable = EncodeText(text, m_conv, bytes) && m_encodable;
        into.push_back(bytes);
    }

    static void Append(const LinesAt& lines, size_t at, std::string& newBytes)
    {
        const auto found = lines.find(at);
        if (found == lines.end())
            return;
        for (const std::string& line : found->second)
            newBytes.append(line).append(kCrLf);
    }

    const wxMBConv& m_conv;
    LinesAt m_inserted;
    LinesAt m_replaced;
    bool m_encodable = true;
};

// Where a new list section goes: after the last entry line of the section
// whose header comes last, so that blank or comment lines after it stay
// after the new section; in a file without sections after its last entry
// line; in a file with neither at the top.
size_t NewListSectionPosition(const CRegistrationList& list)
{
    if (!list.Sections().empty())
        return list.LastEntryLine(list.Sections().back()) + 1;
    const std::vector<ProfileLine>& lines = list.Lines();
    const auto lastEntry = std::find_if(lines.rbegin(), lines.rend(),
                                        [](const ProfileLine& line) { return line.IsEntry(); });
    return static_cast<size_t>(lines.rend() - lastEntry);
}

// The line's bytes with the number of its list key "NAMEn" made `number`: the
// key is ASCII and the first "N" of the line starts it.
std::string RenumberedKey(const std::string& line, int number)
{
    const size_t key = line.find_first_of("Nn");
    const size_t digits = key + 4;
    const size_t digitsEnd = line.find_first_not_of("0123456789", digits);
    return line.substr(0, digits) + std::to_string(number) +
           (digitsEnd == std::string::npos ? std::string() : line.substr(digitsEnd));
}

// Lists the product at the first free number: a new entry, or its entry
// behind a gap, which readers never reach, given that number (together with
// any later key of that number that names it too, so that none of them
// comes to light in its place).
void AddListEntry(const CRegistrationList& list, const std::vector<std::string>& lines,
                  CLineSplice& splice)
{
    if (const ListEntry* hidden = list.FindEntry(kProductSection))
    {
        const ProfileSection& section = *list.ListSection();
        for (size_t i = hidden->line; i < section.end; ++i)
        {
            const ProfileLine& line = list.Lines()[i];
            if (line.kind == ProfileLine::Kind::Key && ListKeyNumber(line.name) == hidden->number &&
                line.value.IsSameAs(kProductSection, false))
                splice.ReplaceBytes(i, RenumberedKey(lines[i], list.FirstFreeNumber()));
        }
        return;
    }
    const wxString entry =
        wxString::Format(wxS("NAME%d="), list.FirstFreeNumber()) + kProductSection;
    if (const ProfileSection* section = list.ListSection())
    {
        splice.InsertBefore(list.LastEntryLine(*section) + 1, entry);
        return;
    }
    const size_t position = NewListSectionPosition(list);
    splice.InsertBefore(position, wxS("[") + list.ListSectionName() + wxS("]"));
    splice.InsertBefore(position, entry);
}

// Each line the product writes into its section that differs from what this
// installation writes is replaced in place; a missing one is added after the
// section's last entry. Lines someone else added stay. A section that holds
// the DS-Win variant keeps it.
void CorrectProductSection(const CRegistrationList& list, const ProfileSection& section,
                           const wxString& programPath, bool dsWinCaller, CLineSplice& splice)
{
    const bool dsWin =
        dsWinCaller || list.KeyLine(section, kDsWinOnlyKey) != CRegistrationList::npos;
    const wxArrayString wanted = ProductSectionLines(programPath, dsWin);
    const size_t missingGoBefore = list.LastEntryLine(section) + 1;
    for (size_t i = 1; i < wanted.size(); ++i)
    {
        const wxString key = wanted[i].BeforeFirst('=');
        const size_t line = list.KeyLine(section, key);
        if (line == CRegistrationList::npos)
            splice.InsertBefore(missingGoBefore, wanted[i]);
        else if (!list.Lines()[line].hasValue ||
                 list.Lines()[line].value != wanted[i].AfterFirst('='))
            splice.Replace(line, wanted[i]);
    }
}

void RemoveListEntries(const CRegistrationList& list, const std::vector<std::string>& lines,
                       CLineSplice& splice)
{
    const ProfileSection* section = list.ListSection();
    if (section == nullptr)
        return;
    std::vector<int> removedNumbers;
    for (const ListEntry& entry : list.Entries())
    {
        if (entry.system.IsSameAs(kProductSection, false))
            removedNumbers.push_back(entry.number);
    }
    for (size_t i = section->header + 1; i < section->end; ++i)
    {
        const ProfileLine& line = list.Lines()[i];
        const int number = line.kind == ProfileLine::Kind::Key ? ListKeyNumber(line.name) : 0;
        if (number == 0)
            continue;
        if (line.value.IsSameAs(kProductSection, false))
        {
            splice.Remove(i);
            continue;
        }
        const auto below = std::lower_bound(removedNumbers.begin(), removedNumbers.end(), number);
        const int shift = static_cast<int>(below - removedNumbers.begin());
        if (shift > 0)
            splice.ReplaceBytes(i, RenumberedKey(lines[i], number - shift));
    }
}

// Removes every section of the product: its header and its lines up to its
// last key, so that blank and comment lines before the next section stay.
void RemoveProductSections(const CRegistrationList& list, CLineSplice& splice)
{
    for (const ProfileSection& section : list.Sections())
    {
        if (!section.name.IsSameAs(kProductSection, false))
            continue;
        size_t last = section.header;
        for (size_t i = section.header + 1; i < section.end; ++i)
        {
            const ProfileLine& line = list.Lines()[i];
            if (line.kind == ProfileLine::Kind::Key && !line.IsComment())
                last = i;
        }
        for (size_t i = section.header; i <= last; ++i)
            splice.Remove(i);
    }
}

} // namespace

wxArrayString ProductSectionLines(const wxString& programPath, bool dsWinCaller)
{
    wxArrayString lines;
    lines.push_back(wxS("[") + kProductSection + wxS("]"));
    lines.push_back(wxS("NAME=Tivora"));
    lines.push_back(wxS("PATDATIMPORT=") + programPath);
    lines.push_back(wxS("PATDATIMPORT_OS=1"));
    if (dsWinCaller)
    {
        lines.push_back(wxS("MMOINFEXPORT=") + programPath);
        lines.push_back(wxS("MMOINFEXPORT_OS=1"));
        lines.push_back(wxS("MMOVIEW=") + programPath);
        lines.push_back(wxS("MMOVIEW_OS=1"));
        lines.push_back(wxS("SUPPORTTHUMBNAILS=0"));
        lines.push_back(wxS("STAGES=12"));
    }
    else
    {
        lines.push_back(wxS("STAGES=1"));
    }
    lines.push_back(wxS("VERSION=1.2"));
    return lines;
}

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

bool EncodeText(const wxString& text, const wxMBConv& conv, std::string& bytes)
{
    if (text.empty())
    {
        bytes.clear();
        return true;
    }
    const wxScopedCharBuffer encoded = text.mb_str(conv);
    if (encoded.length() == 0)
        return false;
    bytes.assign(encoded.data(), encoded.length());
    return true;
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
    lines.text.reserve(lines.bytes.size());
    for (size_t i = 0; i < lines.bytes.size(); ++i)
    {
        const std::string& line = lines.bytes[i];
        if (line.find('\0') != std::string::npos)
            return PassResult::Refused(wxString::Format(
                _("line %d holds a NUL byte, as a file a crash cut short does; remove the NUL "
                  "bytes from the file or restore it from a backup"),
                static_cast<int>(i + 1)));
        wxString text;
        if (IsAscii(line))
            text = wxString::FromAscii(line.data(), line.size());
        else if (!DecodeText(line, conv, text) && doubleByte)
            return PassResult::Refused(wxString::Format(
                _("line %d is not text in the system's character set; correct the line, or ask "
                  "the vendor whose line it is"),
                static_cast<int>(i + 1)));
        else if (text.empty())
            text = StructureOnly(line);
        lines.text.push_back(text);
    }
    return PassResult::Of(PassResult::Outcome::Done);
}

PassResult BuildRegisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                               bool dsWinCaller, const wxMBConv& conv, std::string& newBytes)
{
    const CRegistrationList list(file.text);
    CLineSplice splice(conv);
    if (!list.Lists(kProductSection))
        AddListEntry(list, file.bytes, splice);
    if (const ProfileSection* section = list.FindSection(kProductSection))
    {
        CorrectProductSection(list, *section, programPath, dsWinCaller, splice);
    }
    else
    {
        for (const wxString& line : ProductSectionLines(programPath, dsWinCaller))
            splice.InsertBefore(file.bytes.size(), line);
    }
    if (splice.IsEmpty())
        return PassResult::Of(PassResult::Outcome::AlreadyDone);
    return splice.Apply(file.bytes, newBytes);
}

PassResult BuildUnregisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                                 const std::function<bool(const wxString&)>& programExists,
                                 const wxMBConv& conv, std::string& newBytes)
{
    const CRegistrationList list(file.text);
    wxString program;
    const ProfileSection* section = list.FindSection(kProductSection);
    if (section != nullptr && list.Value(*section, wxS("PATDATIMPORT"), program) &&
        !program.empty() && !program.IsSameAs(programPath, false) && programExists(program))
        return PassResult::Of(PassResult::Outcome::OtherInstallation);

    CLineSplice splice(conv);
    RemoveListEntries(list, file.bytes, splice);
    RemoveProductSections(list, splice);
    if (splice.IsEmpty())
        return PassResult::Of(PassResult::Outcome::AlreadyDone);
    return splice.Apply(file.bytes, newBytes);
}
