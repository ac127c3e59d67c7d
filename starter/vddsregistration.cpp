#include "starter/vddsregistration.h"

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

// Orders backup names by their stamp, then by their number: "_2" follows the
// name without a number, "_10" follows "_9".
bool IsLaterBackupName(const wxString& name, const wxString& than)
{
    const auto split = [](const wxString& backup, wxString& stamp, long& number)
    {
        const wxString base = backup.Mid(kBackupPrefix.length()).BeforeLast('.');
        // "YYYY-MM-DD_HH-MM-SS" is 19 characters; a number follows as "_n".
        stamp = base.Left(19);
        number = 1;
        base.Mid(20).ToLong(&number);
    };
    wxString stamp, thanStamp;
    long number = 0, thanNumber = 0;
    split(name, stamp, number);
    split(than, thanStamp, thanNumber);
    return stamp != thanStamp ? stamp > thanStamp : number > thanNumber;
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

// True when `newLines` is `oldLines` with at most `added` lines inserted:
// nothing of the old file may be lost or changed by the edit.
bool KeepsEveryLine(const wxArrayString& oldLines, const wxArrayString& newLines, size_t added)
{
    if (newLines.size() < oldLines.size() || newLines.size() > oldLines.size() + added)
        return false;
    size_t matched = 0;
    for (const wxString& line : newLines)
    {
        if (matched < oldLines.size() && line == oldLines[matched])
            ++matched;
    }
    return matched == oldLines.size();
}

wxString JoinLinesCrLf(const wxArrayString& lines)
{
    wxString text;
    for (const wxString& line : lines)
        text << line << kCrLf;
    return text;
}

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
    wxString::const_iterator lineStart = text.begin();
    for (wxString::const_iterator p = text.begin(); p != text.end(); ++p)
    {
        if (*p != '\r' && *p != '\n')
            continue;
        lines.push_back(wxString(lineStart, p));
        if (*p == '\r' && p + 1 != text.end() && *(p + 1) == '\n')
            ++p;
        lineStart = p + 1;
    }
    if (lineStart != text.end())
        lines.push_back(wxString(lineStart, text.end()));
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

wxString WriteBackup(const wxString& text, const wxString& dir, const wxDateTime& when,
                     const wxMBConv& conv)
{
    std::string bytes;
    if (!EncodeText(JoinLinesCrLf(SplitLines(text)), conv, bytes))
        return wxString();

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
    if (!KeepsEveryLine(SplitLines(oldText), SplitLines(text), 2))
        return RegistrationOutcome::Failed;

    newText = text + JoinLinesCrLf(ProductSectionLines(programPath, dsWinCaller));
    return RegistrationOutcome::Added;
}
