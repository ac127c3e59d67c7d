#include "registration/iniedit.h"

#include <algorithm>
#include <map>

#include <wx/intl.h>
#include <wx/strconv.h>

#include "common/product.h"

namespace
{

// The key that only the DS-Win variant of the product's section holds.
const wxString kDsWinOnlyKey(wxS("MMOVIEW"));

PassResult Unencodable()
{
    return PassResult::Refused(
        _("the installation directory cannot be written in the system's character set"));
}

// The new file as the old lines with some of them replaced or removed and
// new lines inserted, in the file's encoding: every other line is copied as
// its bytes were.
class CLineSplice
{
public:
    CLineSplice(const wxMBConv& conv, FileEncoding encoding)
        : m_conv(encoding == FileEncoding::Utf16Le ? m_utf16 : conv), m_encoding(encoding),
          m_lineEnd(EncodedAscii("\r\n", encoding))
    {
    }

    FileEncoding Encoding() const { return m_encoding; }

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
            size += line.size() + m_lineEnd.size();
        newBytes = ByteOrderMark(m_encoding);
        newBytes.reserve(size + 512);
        for (size_t i = 0; i <= oldLines.size(); ++i)
        {
            Append(m_inserted, i, newBytes);
            if (i == oldLines.size())
                break;
            if (m_replaced.count(i) != 0)
                Append(m_replaced, i, newBytes);
            else
                newBytes.append(oldLines[i]).append(m_lineEnd);
        }
        return PassResult::Of(PassResult::Outcome::Done);
    }

    // The changes Apply() makes, in the order the new file holds them: a
    // line replaced by several is replaced by the first, and the others are
    // added after it.
    PassResult Changes(std::vector<LineChange>& changes) const
    {
        if (!m_encodable)
            return Unencodable();
        changes.clear();
        auto inserted = m_inserted.begin();
        auto replaced = m_replaced.begin();
        while (inserted != m_inserted.end() || replaced != m_replaced.end())
        {
            if (replaced == m_replaced.end() ||
                (inserted != m_inserted.end() && inserted->first <= replaced->first))
            {
                for (const std::string& line : inserted->second)
                    changes.push_back(Change(LineChange::Kind::Add, inserted->first, line));
                ++inserted;
                continue;
            }
            const size_t at = replaced->first;
            const std::vector<std::string>& lines = replaced->second;
            if (lines.empty())
                changes.push_back(LineChange{LineChange::Kind::Remove, at, {}, {}});
            for (size_t i = 0; i < lines.size(); ++i)
                changes.push_back(Change(i == 0 ? LineChange::Kind::Replace : LineChange::Kind::Add,
                                         i == 0 ? at : at + 1, lines[i]));
            ++replaced;
        }
        return PassResult::Of(PassResult::Outcome::Done);
    }

private:
    using LinesAt = std::map<size_t, std::vector<std::string>>;

    // The text is the line's as the reader of the file takes it.
    LineChange Change(LineChange::Kind kind, size_t at, const std::string& bytes) const
    {
        RegistrationFileLines read;
        ReadRegistrationLines(ByteOrderMark(m_encoding) + bytes, m_conv, false, read);
        return LineChange{kind, at, bytes, read.text.empty() ? wxString() : read.text.front()};
    }

    void Encode(const wxString& text, std::vector<std::string>& into)
    {
        std::string bytes;
        m_encodable = EncodeText(text, m_conv, bytes) && m_encodable;
        into.push_back(bytes);
    }

    void Append(const LinesAt& lines, size_t at, std::string& newBytes) const
    {
        const auto found = lines.find(at);
        if (found == lines.end())
            return;
        for (const std::string& line : found->second)
            newBytes.append(line).append(m_lineEnd);
    }

    const wxMBConvUTF16LE m_utf16;
    const wxMBConv& m_conv;
    const FileEncoding m_encoding;
    const std::string m_lineEnd;
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
    const auto lastEntry =
        std::find_if(lines.rbegin(), lines.rend(),
                     [](const ProfileLine& line) { return line.kind == ProfileLine::Kind::Entry; });
    return static_cast<size_t>(lines.rend() - lastEntry);
}

bool NamesProduct(const wxString& system)
{
    return IsSameProfileName(system, kProductSection);
}

// The byte index of the first code unit of `line` from byte `from` on that
// is not among the ASCII characters `chars` (`among` false) or is one of them.
size_t FindCodeUnit(const std::string& line, const std::string& chars, bool among, size_t from,
                    FileEncoding encoding)
{
    for (size_t at = from; at < line.size(); at += CodeUnitSize(encoding))
    {
        const unsigned unit = CodeUnitAt(line, at, encoding);
        const bool isAmong =
            unit < 0x80 && chars.find(static_cast<char>(unit)) != std::string::npos;
        if (isAmong == among)
            return at;
    }
    return std::string::npos;
}

// The line's bytes with the number of its list key "NAMEn" made `number`: the
// key is ASCII and the first "N" of the line starts it.
std::string RenumberedKey(const std::string& line, int number, FileEncoding encoding)
{
    const size_t key = FindCodeUnit(line, "Nn", true, 0, encoding);
    const size_t digits = key + 4 * CodeUnitSize(encoding);
    const size_t digitsEnd = FindCodeUnit(line, "0123456789", false, digits, encoding);
    return line.substr(0, digits) + EncodedAscii(std::to_string(number), encoding) +
           (digitsEnd == std::string::npos ? std::string() : line.substr(digitsEnd));
}

// The line's bytes up to its first "=", which ends its ASCII key.
std::string KeyBytes(const std::string& line, FileEncoding encoding)
{
    return line.substr(0, FindCodeUnit(line, "=", true, 0, encoding) + CodeUnitSize(encoding));
}

// Takes every key naming the product with a number from `from` on out of the
// list, and numbers the later entries down in place by as many of the
// product's entries as stood below them, so that readers see the same
// systems in the same order without the product. Readers take the first key
// of a number: where a hidden second key of a product entry's number stands
// before the entry that is to take that number, the entry moves up into the
// product's line, so that the hidden key stays hidden; where no entry takes
// the number, such a hidden key stays hidden behind an empty entry in the
// product's line.
void TakeProductOutOfList(const CRegistrationList& list, const std::vector<std::string>& lines,
                          int from, CLineSplice& splice)
{
    const FileEncoding encoding = splice.Encoding();
    std::vector<int> productNumbers;
    std::vector<const ListEntry*> kept;
    for (const ListEntry& entry : list.Entries())
    {
        if (entry.number < from)
            continue;
        if (NamesProduct(entry.system))
            productNumbers.push_back(entry.number);
        else
            kept.push_back(&entry);
    }
    const auto newNumber = [&](int number)
    {
        const auto below = std::lower_bound(productNumbers.begin(), productNumbers.end(), number);
        return number - static_cast<int>(below - productNumbers.begin());
    };
    const auto isProductNumber = [&](int number)
    { return std::binary_search(productNumbers.begin(), productNumbers.end(), number); };

    // The first line of a hidden key of each product entry's number.
    std::map<int, size_t> hiddenKeyLines;
    for (const ListEntry& key : list.Keys())
    {
        if (key.number < from)
            continue;
        if (NamesProduct(key.system))
            splice.Remove(key.line);
        else if (isProductNumber(key.number))
            hiddenKeyLines.emplace(key.number, key.line);
        else if (newNumber(key.number) != key.number)
            splice.ReplaceBytes(key.line,
                                RenumberedKey(lines[key.line], newNumber(key.number), encoding));
    }
    for (const int number : productNumbers)
    {
        const auto hidden = hiddenKeyLines.find(number);
        if (hidden == hiddenKeyLines.end())
            continue;
        const size_t productLine = list.Entry(number)->line;
        const auto successor = std::find_if(kept.begin(), kept.end(),
                                            [&](const ListEntry* entry)
                                            { return newNumber(entry->number) == number; });
        if (successor == kept.end())
        {
            splice.ReplaceBytes(productLine, KeyBytes(lines[productLine], encoding));
        }
        else if ((*successor)->line > hidden->second)
        {
            splice.ReplaceBytes(productLine, RenumberedKey(lines[(*successor)->line], number, encoding));
            splice.Remove((*successor)->line);
        }
    }
}

// Lists the product once. Where readers find it, every later entry naming it
// is taken out. Otherwise it is listed where readers stop counting: in the
// empty entry of that number, which names nobody, or in a new entry after
// the list's last entry line; a product entry behind that place, which no
// reader reaches, is taken out.
void ListProductOnce(const CRegistrationList& list, const std::vector<std::string>& lines,
                     CLineSplice& splice)
{
    const int stop = list.StopNumber();
    if (list.Lists(kProductSection))
    {
        TakeProductOutOfList(list, lines, list.FindEntry(kProductSection)->number + 1, splice);
        return;
    }
    TakeProductOutOfList(list, lines, stop + 1, splice);
    if (const ListEntry* empty = list.Entry(stop))
    {
        const std::string key = KeyBytes(lines[empty->line], splice.Encoding());
        splice.ReplaceBytes(empty->line,
                            key + EncodedAscii(kProductSection.ToStdString(), splice.Encoding()));
        return;
    }
    const wxString entry = wxString::Format(wxS("NAME%d="), stop) + kProductSection;
    if (const ProfileSection* section = list.ListSection())
    {
        splice.InsertBefore(list.LastEntryLine(*section) + 1, entry);
        return;
    }
    const size_t position = NewListSectionPosition(list);
    splice.InsertBefore(position, wxS("[") + kListSectionName + wxS("]"));
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
        else if (list.Lines()[line].value != wanted[i].AfterFirst('='))
            splice.Replace(line, wanted[i]);
    }
}

// Removes every section of the product: its header and its lines up to its
// last line that is neither blank nor a comment, so that blank and comment
// lines before the next section stay.
void RemoveProductSections(const CRegistrationList& list, CLineSplice& splice)
{
    for (const ProfileSection& section : list.Sections())
    {
        if (!NamesProduct(section.name))
            continue;
        size_t last = section.header;
        for (size_t i = section.header + 1; i < section.end; ++i)
        {
            const ProfileLine::Kind kind = list.Lines()[i].kind;
            if (kind == ProfileLine::Kind::Entry || kind == ProfileLine::Kind::Text)
                last = i;
        }
        for (size_t i = section.header; i <= last; ++i)
            splice.Remove(i);
    }
}

// The changes a registration makes: the product entered into the list at
// the number where readers stop unless they find it there, its section
// appended when it is missing, and each line of its section corrected.
void SpliceRegistration(const RegistrationFileLines& file, const wxString& programPath,
                        bool dsWinCaller, CLineSplice& splice)
{
    const CRegistrationList list(file.text);
    // The section's missing lines come first: where a new list goes at the
    // same place, after the product's section, they stay in the section.
    const ProfileSection* section = list.FindSection(kProductSection);
    if (section != nullptr)
        CorrectProductSection(list, *section, programPath, dsWinCaller, splice);
    ListProductOnce(list, file.bytes, splice);
    if (section == nullptr)
    {
        for (const wxString& line : ProductSectionLines(programPath, dsWinCaller))
            splice.InsertBefore(file.bytes.size(), line);
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

PassResult BuildRegisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                               bool dsWinCaller, const wxMBConv& conv, std::string& newBytes)
{
    CLineSplice splice(conv, file.encoding);
    SpliceRegistration(file, programPath, dsWinCaller, splice);
    if (splice.IsEmpty())
        return PassResult::Of(PassResult::Outcome::AlreadyDone);
    return splice.Apply(file.bytes, newBytes);
}

PassResult PlanRegisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                              bool dsWinCaller, const wxMBConv& conv,
                              std::vector<LineChange>& changes)
{
    changes.clear();
    CLineSplice splice(conv, file.encoding);
    SpliceRegistration(file, programPath, dsWinCaller, splice);
    if (splice.IsEmpty())
        return PassResult::Of(PassResult::Outcome::AlreadyDone);
    return splice.Changes(changes);
}

std::vector<wxString> ChangedText(const std::vector<wxString>& text,
                                  const std::vector<LineChange>& changes)
{
    std::vector<wxString> changed;
    size_t next = 0;
    for (const LineChange& change : changes)
    {
        for (; next < change.line; ++next)
            changed.push_back(text[next]);
        if (change.kind != LineChange::Kind::Remove)
            changed.push_back(change.text);
        if (change.kind != LineChange::Kind::Add)
            ++next;
    }
    changed.insert(changed.end(), text.begin() + next, text.end());
    return changed;
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

    CLineSplice splice(conv, file.encoding);
    TakeProductOutOfList(list, file.bytes, 1, splice);
    RemoveProductSections(list, splice);
    if (splice.IsEmpty())
        return PassResult::Of(PassResult::Outcome::AlreadyDone);
    return splice.Apply(file.bytes, newBytes);
}
