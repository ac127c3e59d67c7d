#include "starter/filereplace.h"

#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "starter/fileops.h"

namespace
{

// The temporary file is left over only where it could not be removed either.
void RemoveTempFile(const wxString& temp)
{
    const wxLogNull quiet;
    wxRemoveFile(temp);
}

} // namespace

bool ReadWholeFile(const wxString& path, std::string& bytes, unsigned long& error)
{
    bytes.clear();
    error = 0;
    if (!wxFileExists(path))
        return !wxDirExists(path);

    // The caller reports a failure once, with the system's error code.
    const wxLogNull quiet;
    wxFile file;
    if (!file.Open(path, wxFile::read))
    {
        error = wxSysErrorCode();
        return false;
    }
    // Read to the end rather than to the length seen at the start: a file
    // that grows meanwhile is read with what was added.
    char chunk[65536];
    for (;;)
    {
        const ssize_t got = file.Read(chunk, sizeof(chunk));
        if (got == wxInvalidOffset)
        {
            error = wxSysErrorCode();
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(chunk, static_cast<size_t>(got));
    }
}

bool FileHolds(const wxString& path, const std::string& expected)
{
    std::string bytes;
    unsigned long error;
    return ReadWholeFile(path, bytes, error) && bytes == expected;
}

PassResult ReplaceFileIfUnchanged(const wxString& path, const std::string& expected,
                                  const std::string& bytes)
{
    const wxString target = FollowLinks(path);
    // A read-only file is never replaced, although a rename could.
    if (IsWriteProtected(target))
        return PassResult::Refused(_("the file is write-protected"));

    unsigned long error = 0;
    const wxString temp = WriteTempFileBeside(target, bytes, error);
    if (temp.empty())
        return PassResult::Refused(_("the file could not be replaced"), error);

    // The file is compared as late as possible, with the new bytes already on
    // disk, so that an edit another program makes in the meantime is seen
    // rather than overwritten.
    if (!FileHolds(target, expected))
    {
        RemoveTempFile(temp);
        return PassResult::Of(PassResult::Outcome::FileChanged);
    }
    if (!RenameOver(temp, target, error))
    {
        RemoveTempFile(temp);
        return PassResult::Refused(_("the file could not be replaced"), error);
    }
    return PassResult::Of(PassResult::Outcome::Done);
}
