#include "registration/accessrights.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool OpenAccessRights(const wxString& path)
{
    struct stat info;
    const wxScopedCharBuffer name = path.fn_str();
    if (path.empty() || ::stat(name, &info) != 0)
        return false;
    const mode_t everyoneMayWrite = S_ISDIR(info.st_mode) ? 0777 : 0666;
    return ::chmod(name, everyoneMayWrite) == 0;
}

bool OpenDirectoryAccessRights(const wxString& path, bool& isLink)
{
    isLink = false;
    struct stat info;
    const wxScopedCharBuffer name = path.fn_str();
    if (path.empty() || ::lstat(name, &info) != 0)
        return false;
    isLink = S_ISLNK(info.st_mode);
    // A link put in its place after the test above is not followed either.
    const int dir = isLink ? -1 : ::open(name, O_RDONLY | O_NOFOLLOW | O_DIRECTORY);
    if (dir < 0)
        return false;
    const bool applied = ::fchmod(dir, 0777) == 0;
    ::close(dir);
    return applied;
}
