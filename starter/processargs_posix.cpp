#include "starter/processargs.h"

#include <wx/app.h>

const wxString kProgramFileName(wxS("tvdds"));

wxArrayString ProcessArguments()
{
    // The system hands the arguments over already split.
    return wxTheApp->argv.GetArguments();
}
