#include "registration/backup.h"

#include <wx/datetime.h>
#include <wx/dir.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "registration/filereplace.h"
#include "registration/iniedit.h"
#include "common/product.h"

namespace
{

// More backups from one second are not kept apart.
const int kMostBackupsPerSecond = 999;

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

} // namespace

wxString NewestBackup(const wxString& dir)
{
    wxDir listing;
    {
        const wxLogNull quiet;
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

namespace
{

bool NewestBackupHolds(const wxString& dir, const std::string& bytes, wxString& newest)
{
    newest = NewestBackup(dir);
    return !newest.empty() && FileHolds(newest, bytes);
}

// Writes `bytes` to the new file `path`; fails without touching it when the
// name is taken.
bool CreateWithBytes(const wxString& path, const std::string& bytes, unsigned long& error)
{
    const wxLogNull quiet;
    wxFile file;
    if (!file.Create(path, false))
    {
        error = wxSysErrorCode();
        return false;
    }
    if (file.Write(bytes.data(), bytes.size()) == bytes.size() && file.Flush() && file.Close())
        return true;
    error = wxSysErrorCode();
    file.Close();
    wxRemoveFile(path);
    return false;
}

} // namespace

std::string BackupBytes(const RegistrationFileLines& file)
{
    const std::string lineEnd = EncodedAscii("\r\n", file.encoding);
    std::string bytes = ByteOrderMark(file.encoding);
    size_t size = bytes.size();
    for (const std::string& line : file.bytes)
        size += line.size() + lineEnd.size();
    bytes.reserve(size);
    for (const std::string& line : file.bytes)
        bytes.append(line).append(lineEnd);
    return bytes;
}

PassResult WriteBackup(const std::string& bytes, const wxString& dir, const wxDateTime& when,
                       wxString& path)
{
    // A pass that is tried again on every start must not pile up copies of
    // the same file.
    if (NewestBackupHolds(dir, bytes, path))
        return PassResult::Of(PassResult::Outcome::AlreadyDone);

    const wxString stem = dir + wxFILE_SEP_PATH + kBackupPrefix + when.Format(wxS("%Y-%m-%d")) +
                          wxS("_") + when.Format(wxS("%H-%M-%S"));
    for (int n = 1; n <= kMostBackupsPerSecond; ++n)
    {
        path = stem + (n == 1 ? wxString() : wxString::Format(wxS("_%d"), n)) + kBackupExtension;
        if (IsNameTaken(path))
            continue;
        unsigned long error = 0;
        if (CreateWithBytes(path, bytes, error))
            return PassResult::Of(PassResult::Outcome::Done);
        // Creation fails, rather than replacing, when the name was taken
        // since the test above; only then is the next name worth a try.
        if (!IsNameTaken(path))
        {
            path.clear();
            return PassResult::Refused(_("the backup file could not be written"), error);
        }
    }
    path.clear();
    return PassResult::Refused(_("no free name for a backup file is left"));
}
