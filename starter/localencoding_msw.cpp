#include "starter/localencoding.h"

#include <wx/msw/wrapwin.h>

wxCSConv LocalEncoding()
{
    // wxFONTENCODING_SYSTEM resolves to the code page GetACP() reports.
    return wxCSConv(wxFONTENCODING_SYSTEM);
}

unsigned AnsiCodePage()
{
    return ::GetACP();
}
