#include "starter/filereplace.h"

#include <wx/file.h>
#include <wx/filefn.h>

#include "starter/fileops.h"

bool ReadWholeFile(const wxString& path, std::string& bytes)
{
    bytes.clear();
    if (!wxFileExists(path))
        return !wxDirExists(path);

    wxFile file;
    if (!file.Open(path, wxFile::read))
        return false;
    const wxFileOffset length = file.Length();
    if (length < 0)
        return false;
    bytes.reserve(static_cast<size_t>(length));
    // Read to the end rather than to the length seen at the start: a file
    // that grows meanwhile is read with what was added.
    char chunk[65536];
    for (;;)
    {
        const ssize_t got = file.Read(chunk, sizeof(chunk));
        if (got == wxInvalidOffset)
            return false;
        if (got == 0)
            return true;
        bytes.append(chunk, static_cast<size_t>(got));
    }
}

bool FileHolds(const wxString& path, const std::string& expected)
{
    std::string bytes;
    return ReadWholeFile(path, bytes) && bytes == expected;
}

ReplaceOutcome ReplaceFileIfUnchanged(const wxString& path, const std::string& expected,
                                      const std::string& bytes)
{
    const wxString target = FollowLinks(path);
    // A read-only file is never replaced, although a rename could.
    if (IsWriteProtected(target))
        return ReplaceOutcome::WriteProtected;

    const wxString temp = WriteTempFileBeside(target, bytes);
    if (temp.empty())
        return ReplaceOutcome::Failed;

    // The file is compared as late as possible, with the new bytes already on
    // disk, so that an edit another program makes in the meantime is seen
    // rather than overwritten.
    if (!FileHolds(target, expected))
    {
        wxRemoveFile(temp);
        return ReplaceOutcome::Changed;
    }
    if (!RenameOver(temp, target))
    {
        wxRemoveFile(temp);
        return ReplaceOutcome::Failed;
    }
    return ReplaceOutcome::Replaced;
}
