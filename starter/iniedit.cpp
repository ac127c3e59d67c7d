#include "starter/iniedit.h"

#include <algorithm>
#include <clocale>

#include <wx/fileconf.h>
#include <wx/intl.h>
#include <wx/sstream.h>
#include <wx/textfile.h>

#include "starter/product.h"

namespace
{

const char kCrLf[] = "\r\n";

// A section header and the list entry are the most the model adds.
const size_t kMostAddedLines = 2;

PassResult LinesNotKept()
{
    return PassResult::Refused(_("some of its lines could not have been kept exactly as they are"));
}

PassResult Unencodable()
{
    return PassResult::Refused(
        _("the installation directory cannot be written in the system's character set"));
}

// Walks the lines of a text or of bytes as SplitLines() cuts them, without
// copying them.
template <typename Text> class LineReader
{
public:
    using Iterator = typename Text::const_iterator;

    explicit LineReader(const Text& text) : m_next(text.begin()), m_end(text.end()) {}

    // The next line as [begin, end); false after the last line.
    bool Next(Iterator& begin, Iterator& end)
    {
        if (m_next == m_end)
            return false;
        begin = m_next;
        end = std::find_if(m_next, m_end, [](auto ch) { return ch == '\r' || ch == '\n'; });
        m_next = end;
        if (m_next != m_end && *m_next++ == '\r' && m_next != m_end && *m_next == '\n')
            ++m_next;
        return true;
    }

private:
    Iterator m_next;
    Iterator m_end;
};

// "NAME1", or the first NAMEn after it that the current section lacks.
wxString FirstFreeNameKey(const wxFileConfig& model)
{
    wxString key(wxS("NAME1"));
    for (int n = 2; model.HasEntry(key); ++n)
        key = wxString::Format(wxS("NAME%d"), n);
    return key;
}

// True when an entry of `section` names the product: without regard to case
// and surrounding blanks, as the profile API that practice software reads the
// list with compares.
bool ListsProduct(wxFileConfig& model, const wxString& section)
{
    if (!model.HasGroup(section))
        return false;
    model.SetPath(wxS("/") + section);
    wxString key;
    long cookie = 0;
    for (bool more = model.GetFirstEntry(key, cookie); more; more = model.GetNextEntry(key, cookie))
    {
        wxString value = model.Read(key, wxString());
        if (value.Trim().Trim(false).IsSameAs(kProductSection, false))
            return true;
    }
    return false;
}

// The model's lines, as it would save them, with CR LF endings.
bool SavedText(wxFileConfig& model, wxString& text)
{
    wxStringOutputStream out(&text, wxConvUTF8);
    if (!model.Save(out, wxConvUTF8))
        return false;
    if (wxTextFile::GetEOL() != wxString(kCrLf))
        text.Replace(wxTextFile::GetEOL(), kCrLf);
    return true;
}

// The old lines' bytes as they were and the lines the model inserts among
// them, encoded, in the model's order, each ending in CR LF. The model's text
// must be the old text's lines with at most kMostAddedLines inserted.
PassResult MergeLines(const std::string& oldBytes, const wxString& oldText,
                      const wxString& savedText, const wxMBConv& conv, std::string& newBytes)
{
    LineReader<std::string> oldByteLines(oldBytes);
    LineReader<wxString> oldLines(oldText);
    LineReader<wxString> savedLines(savedText);
    std::string::const_iterator bytesBegin, bytesEnd;
    wxString::const_iterator oldBegin, oldEnd, savedBegin, savedEnd;
    bool oldLeft = oldLines.Next(oldBegin, oldEnd);
    bool oldBytesLeft = oldByteLines.Next(bytesBegin, bytesEnd);
    size_t inserted = 0;

    newBytes.clear();
    newBytes.reserve(oldBytes.size() + oldBytes.size() / 16 + 64);
    while (savedLines.Next(savedBegin, savedEnd))
    {
        if (oldLeft && std::equal(oldBegin, oldEnd, savedBegin, savedEnd))
        {
            if (!oldBytesLeft)
                return LinesNotKept();
            newBytes.append(bytesBegin, bytesEnd);
            oldLeft = oldLines.Next(oldBegin, oldEnd);
            oldBytesLeft = oldByteLines.Next(bytesBegin, bytesEnd);
        }
        else
        {
            std::string encoded;
            if (++inserted > kMostAddedLines)
                return LinesNotKept();
            if (!EncodeText(wxString(savedBegin, savedEnd), conv, encoded))
                return Unencodable();
            newBytes += encoded;
        }
        newBytes += kCrLf;
    }
    if (oldLeft || oldBytesLeft)
        return LinesNotKept();
    return PassResult::Of(PassResult::Outcome::Done);
}

// True when `newBytes` holds the lines of `oldBytes`, byte for byte and in
// order, with at most kMostAddedLines lines inserted: nothing of the old file
// may be lost or changed by the edit.
bool KeepsEveryLine(const std::string& oldBytes, const std::string& newBytes)
{
    LineReader<std::string> oldLines(oldBytes);
    LineReader<std::string> newLines(newBytes);
    std::string::const_iterator oldBegin, oldEnd, newBegin, newEnd;
    bool oldLeft = oldLines.Next(oldBegin, oldEnd);
    size_t inserted = 0;
    while (newLines.Next(newBegin, newEnd))
    {
        if (oldLeft && std::equal(oldBegin, oldEnd, newBegin, newEnd))
            oldLeft = oldLines.Next(oldBegin, oldEnd);
        else if (++inserted > kMostAddedLines)
            return false;
    }
    return !oldLeft;
}

wxString JoinLinesCrLf(const wxArrayString& lines)
{
    wxString text;
    for (const wxString& line : lines)
        text << line << kCrLf;
    return text;
}

// While it lives, the C library classifies and case-folds characters by the
// rules of the C locale, if `asciiOnly`: for ASCII text those rules are the
// user's locale's too, and the locale-aware versions, which the INI model
// calls for every character of every name it compares, look each character
// up in the system's tables (most of the time the model takes to build).
class AsciiCharacterRules
{
public:
    explicit AsciiCharacterRules(bool asciiOnly)
    {
        const char* const current = asciiOnly ? std::setlocale(LC_CTYPE, nullptr) : nullptr;
        if (current == nullptr)
            return;
        m_previous = current;
        m_switched = std::setlocale(LC_CTYPE, "C") != nullptr;
    }
    ~AsciiCharacterRules()
    {
        if (m_switched)
            std::setlocale(LC_CTYPE, m_previous.c_str());
    }
    AsciiCharacterRules(const AsciiCharacterRules&) = delete;
    AsciiCharacterRules& operator=(const AsciiCharacterRules&) = delete;

private:
    std::string m_previous;
    bool m_switched = false;
};

} // namespace

wxString FindBvsSection(wxFileConfig& model)
{
    model.SetPath(wxS("/"));
    wxString name;
    long cookie = 0;
    for (bool more = model.GetFirstGroup(name, cookie); more;
         more = model.GetNextGroup(name, cookie))
    {
        const size_t at = name.find(wxS("BVS"));
        if (at == wxString::npos)
            continue;
        if (name.length() < 4 || (at + 3 < name.length() && name[at + 3] == ' '))
            return name;
    }
    return wxS("BVS");
}

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
    LineReader<std::string> reader(bytes);
    std::string::const_iterator begin, end;
    while (reader.Next(begin, end))
        lines.emplace_back(begin, end);
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

PassResult BuildRegisteredFile(const wxString& iniPath, const std::string& oldBytes,
                               const wxString& oldText, const wxString& programPath,
                               bool dsWinCaller, const wxMBConv& conv, std::string& newBytes)
{
    // The model opens the file by its name, too.
    const AsciiCharacterRules rules(iniPath.IsAscii() && oldText.IsAscii());
    wxFileConfig model(wxString(), wxString(), iniPath, wxString(),
                       wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_NO_ESCAPE_CHARACTERS, conv);
    // The model must never write the file itself.
    model.DisableAutoSave();
    model.SetExpandEnvVars(false);

    const wxString section = FindBvsSection(model);
    const bool holdsProductSection = model.HasGroup(kProductSection);
    if (holdsProductSection && ListsProduct(model, section))
        return PassResult::Of(PassResult::Outcome::AlreadyDone);

    model.SetPath(wxS("/") + section);
    wxString savedText;
    if (!model.Write(FirstFreeNameKey(model), kProductSection) || !SavedText(model, savedText))
        return LinesNotKept();

    const PassResult merged = MergeLines(oldBytes, oldText, savedText, conv, newBytes);
    if (!merged.Is(PassResult::Outcome::Done))
        return merged;
    if (!KeepsEveryLine(oldBytes, newBytes))
        return LinesNotKept();
    if (holdsProductSection)
        return merged;

    std::string productSection;
    if (!EncodeText(JoinLinesCrLf(ProductSectionLines(programPath, dsWinCaller)), conv,
                    productSection))
        return Unencodable();
    newBytes += productSection;
    return merged;
}
