#include "starter/vddsregistration.h"

#include <algorithm>
#include <clocale>
#include <string>

#include <wx/datetime.h>
#include <wx/dir.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/fileconf.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/textfile.h>

#include "starter/filereplace.h"

namespace
{

const wxString kProductSection(wxS("TIVORA"));
const wxString kCrLf(wxS("\r\n"));
const wxString kBackupPrefix(wxS("vdds_mmi_"));
const wxString kBackupExtension(wxS(".bak"));

bool IsNameTaken(const wxString& path)
{
    return wxFileExists(path) || wxDirExists(path);
}

// Orders backup names by their stamp ("YYYY-MM-DD_HH-MM-SS"), then by their
// number: "_2" follows the name without a number, "_10" follows "_9", so a
// longer name with the same stamp is the later one.
bool IsLaterBackupName(const wxString& name, const wxString& than)
{
    const size_t stampEnd = kBackupPrefix.length() + 19;
    const int stamps = name.Left(stampEnd).compare(than.Left(stampEnd));
    if (stamps != 0)
        return stamps > 0;
    return name.length() != than.length() ? name.length() > than.length() : name > than;
}

// The path of the newest backup in `dir`, or an empty string.
wxString NewestBackup(const wxString& dir)
{
    wxDir listing;
    {
        wxLogNull quiet;
        if (!wxDirExists(dir) || !listing.Open(dir))
            return wxString();
    }
    wxString newest;
    wxString name;
    for (bool more = listing.GetFirst(&name, kBackupPrefix + wxS("*") + kBackupExtension,
                                      wxDIR_FILES | wxDIR_HIDDEN);
         more; more = listing.GetNext(&name))
    {
        if (newest.empty() || IsLaterBackupName(name, newest))
            newest = name;
    }
    return newest.empty() ? newest : dir + wxFILE_SEP_PATH + newest;
}

// "NAME1", or the first NAMEn after it that the current section lacks.
wxString FirstFreeNameKey(const wxFileConfig& model)
{
    wxString key(wxS("NAME1"));
    for (int n = 2; model.HasEntry(key); ++n)
        key = wxString::Format(wxS("NAME%d"), n);
    return key;
}

// The model's lines, as it would save them, with CR LF endings.
bool SavedText(wxFileConfig& model, wxString& text)
{
    wxMemoryOutputStream out;
    if (!model.Save(out, wxConvUTF8))
        return false;
    const wxStreamBuffer& buffer = *out.GetOutputStreamBuffer();
    text = wxString::FromUTF8(static_cast<const char*>(buffer.GetBufferStart()),
                              buffer.GetIntPosition());
    if (wxTextFile::GetEOL() != kCrLf)
        text.Replace(wxTextFile::GetEOL(), kCrLf);
    return true;
}

// Walks the lines of a text as SplitLines() splits it, without copying them.
class LineReader
{
public:
    explicit LineReader(const wxString& text) : m_next(text.begin()), m_end(text.end()) {}

    // The next line as [begin, end); false after the last line.
    bool Next(wxString::const_iterator& begin, wxString::const_iterator& end)
    {
        if (m_next == m_end)
            return false;
        begin = m_next;
        end = std::find_if(m_next, m_end, [](wxUniChar ch) { return ch == '\r' || ch == '\n'; });
        m_next = end;
        if (m_next != m_end && *m_next++ == '\r' && m_next != m_end && *m_next == '\n')
            ++m_next;
        return true;
    }

private:
    wxString::const_iterator m_next;
    wxString::const_iterator m_end;
};

// True when `newText` holds the lines of `oldText`, in order, with at most
// `added` lines inserted: nothing of the old file may be lost or changed by
// the edit.
bool KeepsEveryLine(const wxString& oldText, const wxString& newText, size_t added)
{
    LineReader oldLines(oldText);
    LineReader newLines(newText);
    wxString::const_iterator oldBegin, oldEnd, newBegin, newEnd;
    bool oldLeft = oldLines.Next(oldBegin, oldEnd);
    size_t inserted = 0;
    while (newLines.Next(newBegin, newEnd))
    {
        if (oldLeft && std::equal(oldBegin, oldEnd, newBegin, newEnd))
            oldLeft = oldLines.Next(oldBegin, oldEnd);
        else if (++inserted > added)
            return false;
    }
    return !oldLeft;
}

// True when the bytes are lines that each end in CR LF (or no bytes at all):
// the line-by-line copy with CR LF endings is then the bytes themselves.
bool EndsEveryLineWithCrLf(const std::string& bytes)
{
    for (size_t at = bytes.find_first_of("\r\n"); at != std::string::npos;
         at = bytes.find_first_of("\r\n", at + 2))
    {
        if (bytes[at] != '\r' || at + 1 == bytes.size() || bytes[at + 1] != '\n')
            return false;
    }
    return bytes.empty() || (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0);
}

wxString JoinLinesCrLf(const wxArrayString& lines)
{
    wxString text;
    for (const wxString& line : lines)
        text << line << kCrLf;
    return text;
}

bool IsAscii(const wxString& text)
{
    return std::all_of(text.begin(), text.end(), [](wxUniChar ch) { return ch.IsAscii(); });
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

wxArrayString SplitLines(const wxString& text)
{
    wxArrayString lines;
    LineReader reader(text);
    wxString::const_iterator begin, end;
    while (reader.Next(begin, end))
        lines.push_back(wxString(begin, end));
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

bool BackupBytes(const std::string& fileBytes, const wxString& fileText, const wxMBConv& conv,
                 std::string& bytes)
{
    if (EndsEveryLineWithCrLf(fileBytes))
    {
        bytes = fileBytes;
        return true;
    }
    return EncodeText(JoinLinesCrLf(SplitLines(fileText)), conv, bytes);
}

wxString WriteBackup(const std::string& bytes, const wxString& dir, const wxDateTime& when)
{

    // A pass that is tried again on every start must not pile up copies of
    // the same file.
    const wxString newest = NewestBackup(dir);
    std::string newestBytes;
    if (!newest.empty() && ReadWholeFile(newest, newestBytes) && newestBytes == bytes)
        return newest;

    const wxString stem = dir + wxFILE_SEP_PATH + kBackupPrefix + when.Format(wxS("%Y-%m-%d")) +
                          wxS("_") + when.Format(wxS("%H-%M-%S"));
    for (int n = 1; n < 1000; ++n)
    {
        const wxString path =
            stem + (n == 1 ? wxString() : wxString::Format(wxS("_%d"), n)) + kBackupExtension;
        if (IsNameTaken(path))
            continue;
        wxFile file;
        bool created;
        {
            wxLogNull quiet;
            created = file.Create(path, false);
        }
        const unsigned long error = wxSysErrorCode();
        // Creation fails, rather than replacing, when the name was taken
        // since the test above; only then is the next name worth a try.
        if (!created && IsNameTaken(path))
            continue;
        if (!created)
        {
            wxLogSysError(error, _("can't create file '%s'"), path);
            return wxString();
        }
        const bool written = file.Write(bytes.data(), bytes.size()) == bytes.size() && file.Flush();
        file.Close();
        if (written)
            return path;
        wxRemoveFile(path);
        return wxString();
    }
    return wxString();
}

RegistrationOutcome BuildRegisteredText(const wxString& iniPath, const wxString& oldText,
                                        const wxString& programPath, bool dsWinCaller,
                                        const wxMBConv& conv, wxString& newText)
{
    // The model opens the file by its name, too.
    const AsciiCharacterRules rules(IsAscii(iniPath) && IsAscii(oldText));
    wxFileConfig model(wxString(), wxString(), iniPath, wxString(),
                       wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_NO_ESCAPE_CHARACTERS, conv);
    // The model must never write the file itself.
    model.DisableAutoSave();

    const wxString section = FindBvsSection(model);
    if (model.HasGroup(kProductSection))
        return RegistrationOutcome::AlreadyPresent;

    model.SetPath(wxS("/") + section);
    wxString text;
    if (!model.Write(FirstFreeNameKey(model), kProductSection) || !SavedText(model, text))
        return RegistrationOutcome::Failed;

    // At most a section header and the entry are new.
    if (!KeepsEveryLine(oldText, text, 2))
        return RegistrationOutcome::Failed;

    newText = text + JoinLinesCrLf(ProductSectionLines(programPath, dsWinCaller));
    return RegistrationOutcome::Added;
}
