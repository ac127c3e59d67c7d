#include "starter/localencoding.h"

wxCSConv LocalEncoding()
{
    // wxFONTENCODING_SYSTEM resolves to the code page GetACP() reports.
    return wxCSConv(wxFONTENCODING_SYSTEM);
}
