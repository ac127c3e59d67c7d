#include "starter/localencoding.h"

wxCSConv LocalEncoding()
{
    return wxCSConv(wxFONTENCODING_CP1252);
}

unsigned AnsiCodePage()
{
    return 1252;
}
