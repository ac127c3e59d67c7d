#include "starter/platform.h"

#include <wx/cmdline.h>
#include <wx/msw/wrapwin.h>
#include <wx/utils.h>

#include "starter/launchrules.h"
#include "starter/product.h"

wxString WindowsDirectory()
{
    wchar_t buffer[1024];
    const UINT length = ::GetWindowsDirectoryW(buffer, WXSIZEOF(buffer));
    if (length == 0 || length >= WXSIZEOF(buffer))
        return wxString();
    return wxString(buffer, length);
}

wxCSConv LocalEncoding()
{
    // wxFONTENCODING_SYSTEM resolves to the code page GetACP() reports.
    return wxCSConv(wxFONTENCODING_SYSTEM);
}

unsigned AnsiCodePage()
{
    return ::GetACP();
}

wxArrayString ProcessArguments()
{
    // Split the wide command line by the DOS rules the practice software
    // expects: a backslash before a double quote stays in the argument with
    // it. wxApp::argv would follow CommandLineToArgvW, which drops it.
    return wxCmdLineParser::ConvertStringToArgs(::GetCommandLineW(), wxCMD_LINE_SPLIT_DOS);
}

void StartClient(const wxString& patientFile)
{
    // No directory and no application name: Windows searches for the client
    // beside this program first, then in the current, system and PATH
    // directories.
    wxExecute(kClientFileName + wxS(" ") + QuoteWindowsArgument(patientFile), wxEXEC_ASYNC);
}
