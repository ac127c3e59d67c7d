#include "starter/windowsdir.h"

#include <wx/msw/wrapwin.h>

wxString WindowsDirectory()
{
    wchar_t buffer[1024];
    const UINT length = ::GetWindowsDirectoryW(buffer, WXSIZEOF(buffer));
    if (length == 0 || length >= WXSIZEOF(buffer))
        return wxString();
    return wxString(buffer, length);
}
