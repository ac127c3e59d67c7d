#include "starter/accessrights.h"

#include <sys/stat.h>

bool OpenAccessRights(const wxString& path)
{
    struct stat info;
    const wxScopedCharBuffer name = path.fn_str();
    if (path.empty() || ::stat(name, &info) != 0)
        return false;
    const mode_t everyoneMayWrite = S_ISDIR(info.st_mode) ? 0777 : 0666;
    return ::chmod(name, everyoneMayWrite) == 0;
}
