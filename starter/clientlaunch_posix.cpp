#include "starter/clientlaunch.h"

#include <wx/utils.h>

void StartClient(const wxString& patientFile)
{
    // The argument vector goes to the client as it is; the client is found
    // through PATH.
    const wxString client(wxS("tivoracl"));
    const wchar_t* const argv[] = {client.wc_str(), patientFile.wc_str(), nullptr};
    wxExecute(argv, wxEXEC_ASYNC);
}
