#include "starter/processargs.h"

#include <wx/cmdline.h>
#include <wx/msw/wrapwin.h>

const wxString kProgramFileName(wxS("tvdds.exe"));

wxArrayString ProcessArguments()
{
    // Split the wide command line by the DOS rules the practice software
    // expects: a backslash before a double quote stays in the argument with
    // it. wxApp::argv would follow CommandLineToArgvW, which drops it.
    return wxCmdLineParser::ConvertStringToArgs(::GetCommandLineW(), wxCMD_LINE_SPLIT_DOS);
}
