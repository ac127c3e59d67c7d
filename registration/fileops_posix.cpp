#include "registration/fileops.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/filefn.h>

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
        if (n < 0)
            return false;
        if (n == 0)
        {
            errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool FollowLinks(const wxString& path, wxString& target)
{
    char resolved[PATH_MAX];
    if (::realpath(path.fn_str(), resolved) != nullptr)
    {
        target = wxString(resolved, *wxConvFileName);
        return true;
    }
    struct stat link;
    target = path;
    return ::lstat(path.fn_str(), &link) != 0 || !S_ISLNK(link.st_mode);
}

bool IsBusyError(unsigned long error)
{
    return error == EBUSY || error == ETXTBSY;
}

bool IsWriteProtected(const wxString& path)
{
    const std::string target(path.fn_str());
    return ::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0;
}

wxString WriteTempFileBeside(const wxString& path, const std::string& bytes, unsigned long& error)
{
    const std::string target(path.fn_str());
    struct stat old;
    const bool haveOld = ::stat(target.c_str(), &old) == 0;
    const mode_t mode = haveOld ? (old.st_mode & 07777) : 0644;

    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
    {
        error = errno;
        return wxString();
    }
    // The owner is kept where this process may give the file away; the mode
    // always.
    const bool ownerKept = !haveOld || ::fchown(fd, old.st_uid, old.st_gid) == 0;
    static_cast<void>(ownerKept);
    bool written = WriteAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    if (!written)
        error = errno;
    if (::close(fd) != 0 && written)
    {
        error = errno;
        written = false;
    }
    if (!written)
    {
        ::unlink(temp.c_str());
        return wxString();
    }
    return wxString(temp.c_str(), *wxConvFileName);
}

bool ReadWhileHeld(const wxString& path, size_t most, std::string& bytes, unsigned long& error,
                   const std::function<void()>& whileHeld)
{
    // No other program can be held off here: the file is only read.
    bytes.clear();
    const int fd = ::open(path.fn_str(), O_RDONLY);
    if (fd < 0)
    {
        error = errno;
        return errno == ENOENT;
    }
    bytes.resize(most);
    size_t got = 0;
    ssize_t read = 0;
    while (got < most && (read = ::read(fd, &bytes[got], most - got)) > 0)
        got += static_cast<size_t>(read);
    if (read < 0)
        error = errno;
    else
        whileHeld();
    ::close(fd);
    bytes.resize(got);
    return read >= 0;
}

bool MakeHardLink(const wxString& path, const wxString& link, unsigned long& error)
{
    if (::link(path.fn_str(), link.fn_str()) == 0)
        return true;
    error = errno;
    return false;
}

bool AreSameFile(const wxString& a, const wxString& b)
{
    struct stat first;
    struct stat second;
    return ::lstat(a.fn_str(), &first) == 0 && ::lstat(b.fn_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool RenameOver(const wxString& temp, const wxString& path, unsigned long& error)
{
    if (::rename(temp.fn_str(), path.fn_str()) != 0)
    {
        error = errno;
        return false;
    }
    // Make the rename itself durable.
    const wxString dirPath = wxPathOnly(path);
    const int dir = ::open(dirPath.empty() ? "." : dirPath.fn_str().data(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0)
    {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
