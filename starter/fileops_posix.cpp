#include "starter/fileops.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/intl.h>
#include <wx/log.h>

namespace
{

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

wxString FollowLinks(const wxString& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.fn_str(), resolved) == nullptr)
        return path;
    return wxString(resolved, *wxConvFileName);
}

bool IsWriteProtected(const wxString& path)
{
    const std::string target(path.fn_str());
    return ::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0;
}

wxString WriteTempFileBeside(const wxString& path, const std::string& bytes)
{
    const std::string target(path.fn_str());
    struct stat old;
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;

    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
    {
        wxLogSysError(_("can't create file '%s'"), temp);
        return wxString();
    }
    const bool written = WriteAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    if (!written)
        wxLogSysError(_("can't write buffer '%s' to disk."), temp);
    if (::close(fd) != 0 || !written)
    {
        ::unlink(temp.c_str());
        return wxString();
    }
    return wxString(temp.c_str(), *wxConvFileName);
}

bool RenameOver(const wxString& temp, const wxString& path)
{
    const std::string target(path.fn_str());
    if (::rename(temp.fn_str(), target.c_str()) != 0)
    {
        wxLogSysError(_("can't commit changes to file '%s'"), path);
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0)
    {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
