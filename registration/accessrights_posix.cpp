#include "registration/accessrights.h"

#include <cerrno>
#include <climits>
#include <string>

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

namespace
{

// Opens the directory at the absolute path `path` and hands it to `use` when
// it names `path` reached through no link.
template <typename Use> DirectoryRights WithDirectory(const wxString& path, Use use)
{
    const std::string name(path.fn_str());
    if (name.empty() || name[0] != '/')
        return DirectoryRights::Failed;
    // Every component is looked at, so that a link above the directory is
    // refused as well as one in its place.
    for (size_t end = name.find('/', 1);; end = name.find('/', end + 1))
    {
        struct stat info;
        if (::lstat(name.substr(0, end).c_str(), &info) != 0)
            return DirectoryRights::Failed;
        if (S_ISLNK(info.st_mode))
            return DirectoryRights::Link;
        if (end == std::string::npos)
            break;
    }
    const int dir = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW);
    if (dir < 0)
        return errno == ELOOP ? DirectoryRights::Link : DirectoryRights::Failed;
    // A link put in place of a component after the walk above shows in the
    // path the system opened.
    DirectoryRights result = DirectoryRights::Failed;
    struct stat info;
    char opened[PATH_MAX];
    const ssize_t length =
        ::readlink(("/proc/self/fd/" + std::to_string(dir)).c_str(), opened, sizeof(opened) - 1);
    if (::fstat(dir, &info) != 0 || length <= 0)
        result = DirectoryRights::Failed;
    else if (!S_ISDIR(info.st_mode))
        result = DirectoryRights::NotADirectory;
    else if (std::string(opened, static_cast<size_t>(length)) != name)
        result = DirectoryRights::Link;
    else if (use(dir))
        result = DirectoryRights::Opened;
    ::close(dir);
    return result;
}

} // namespace

DirectoryRights OpenDirectoryAccessRights(const wxString& path)
{
    return WithDirectory(path, [](int dir) { return ::fchmod(dir, 0777) == 0; });
}

DirectoryRights InspectDirectory(const wxString& path)
{
    return WithDirectory(path, [](int) { return true; });
}
