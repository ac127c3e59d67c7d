#include "starter/clientlaunch.h"

#include <wx/utils.h>

#include "starter/launchrules.h"

void StartClient(const wxString& patientFile)
{
    // No directory and no application name: Windows searches for the client
    // beside this program first, then in the current, system and PATH
    // directories.
    wxExecute(wxS("tivoracl.exe ") + QuoteWindowsArgument(patientFile), wxEXEC_ASYNC);
}
