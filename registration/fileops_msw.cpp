#include "registration/fileops.h"

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/msw/wrapwin.h>

#include "common/finalpath_msw.h"

#include <vector>

namespace
{

// Attributes a replacement keeps; read-only files are never replaced.
const DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool WriteAndFlush(const wxString& path, const std::string& bytes, unsigned long& error)
{
    const HANDLE file = ::CreateFileW(path.wc_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        error = ::GetLastError();
        return false;
    }
    DWORD written = 0;
    bool complete =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size() && ::FlushFileBuffers(file);
    if (!complete)
        error = ::GetLastError();
    if (!::CloseHandle(file) && complete)
    {
        error = ::GetLastError();
        complete = false;
    }
    return complete;
}

// Gives `temp` the access list of `path`, and its owner where this process
// may set it, so that replacing the file changes nobody's rights: a new file
// would get the directory's default rights instead. False, with the
// system's error code, when the access list could not be copied.
bool CopyRights(const wxString& path, const wxString& temp, unsigned long& error)
{
    const SECURITY_INFORMATION wanted = DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION;
    DWORD size = 0;
    ::GetFileSecurityW(path.wc_str(), wanted, nullptr, 0, &size);
    if (size == 0)
    {
        error = ::GetLastError();
        // A file that is gone meanwhile has no rights to keep.
        return error == ERROR_FILE_NOT_FOUND;
    }
    std::vector<unsigned char> descriptor(size);
    if (!::GetFileSecurityW(path.wc_str(), wanted, descriptor.data(), size, &size) ||
        !::SetFileSecurityW(temp.wc_str(), DACL_SECURITY_INFORMATION, descriptor.data()))
    {
        error = ::GetLastError();
        return false;
    }
    ::SetFileSecurityW(temp.wc_str(), OWNER_SECURITY_INFORMATION, descriptor.data());
    return true;
}

// The volume and index that identify the file at `path` itself (a link at
// its place is not followed).
bool FileIdentity(const wxString& path, BY_HANDLE_FILE_INFORMATION& info)
{
    const HANDLE handle = ::CreateFileW(
        path.wc_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    return known;
}

} // namespace

bool FollowLinks(const wxString& path, wxString& target)
{
    target = path;
    const DWORD attributes = ::GetFileAttributesW(path.wc_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    // Only a link must be resolved; a plain file is its own target even
    // where the system cannot name its final path.
    const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const HANDLE file =
        ::CreateFileW(path.wc_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return !isLink;
    const wxString finalPath(FinalPathOf(file));
    ::CloseHandle(file);
    if (finalPath.empty())
        return !isLink;
    target = finalPath;
    return true;
}

bool IsBusyError(unsigned long error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

bool IsWriteProtected(const wxString& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.wc_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

wxString WriteTempFileBeside(const wxString& path, const std::string& bytes, unsigned long& error)
{
    wxString temp;
    {
        const wxLogNull quiet;
        temp = wxFileName::CreateTempFileName(path);
        error = ::GetLastError();
    }
    if (temp.empty())
        return temp;
    const DWORD attributes = ::GetFileAttributesW(path.wc_str());
    const bool replacesAFile = attributes != INVALID_FILE_ATTRIBUTES;
    if (!WriteAndFlush(temp, bytes, error) || (replacesAFile && !CopyRights(path, temp, error)))
    {
        ::DeleteFileW(temp.wc_str());
        return wxString();
    }
    if (replacesAFile && (attributes & kKeptAttributes))
        ::SetFileAttributesW(temp.wc_str(), attributes & kKeptAttributes);
    return temp;
}

bool ReadWhileHeld(const wxString& path, size_t most, std::string& bytes, unsigned long& error,
                   const std::function<void()>& whileHeld)
{
    bytes.clear();
    const HANDLE file = ::CreateFileW(path.wc_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    bytes.resize(most);
    size_t got = 0;
    DWORD read = 0;
    bool readable = true;
    while (got < most &&
           (readable = ::ReadFile(file, &bytes[got], static_cast<DWORD>(most - got), &read,
                                  nullptr) != 0) &&
           read > 0)
        got += read;
    if (!readable)
        error = ::GetLastError();
    else
        whileHeld();
    ::CloseHandle(file);
    bytes.resize(got);
    return readable;
}

bool MakeHardLink(const wxString& path, const wxString& link, unsigned long& error)
{
    if (::CreateHardLinkW(link.wc_str(), path.wc_str(), nullptr))
        return true;
    error = ::GetLastError();
    return false;
}

bool AreSameFile(const wxString& a, const wxString& b)
{
    BY_HANDLE_FILE_INFORMATION first;
    BY_HANDLE_FILE_INFORMATION second;
    return FileIdentity(a, first) && FileIdentity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

bool RenameOver(const wxString& temp, const wxString& path, unsigned long& error)
{
    if (::MoveFileExW(temp.wc_str(), path.wc_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = ::GetLastError();
    return false;
}
