#include "starter/windowsdir.h"

#include <wx/utils.h>

wxString WindowsDirectory()
{
    wxString dir;
    if (!wxGetEnv(wxS("TVDDS_WINDOWS_DIR"), &dir) || dir.empty())
        dir = wxS("/var/lib/tvdds/windows");
    return dir;
}
