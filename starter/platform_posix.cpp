#include "starter/platform.h"

#include <wx/app.h>
#include <wx/utils.h>

#include "starter/product.h"

wxString WindowsDirectory()
{
    wxString dir;
    if (!wxGetEnv(wxS("TVDDS_WINDOWS_DIR"), &dir) || dir.empty())
        dir = wxS("/var/lib/tvdds/windows");
    return dir;
}

wxCSConv LocalEncoding()
{
    return wxCSConv(wxFONTENCODING_CP1252);
}

unsigned AnsiCodePage()
{
    return 1252;
}

wxArrayString ProcessArguments()
{
    // The system hands the arguments over already split.
    return wxTheApp->argv.GetArguments();
}

void StartClient(const wxString& patientFile)
{
    // The argument vector goes to the client as it is; the client is found
    // through PATH.
    const wchar_t* const argv[] = {kClientFileName.wc_str(), patientFile.wc_str(), nullptr};
    wxExecute(argv, wxEXEC_ASYNC);
}
