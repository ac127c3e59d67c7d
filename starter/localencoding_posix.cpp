#include "starter/localencoding.h"

wxCSConv LocalEncoding()
{
    return wxCSConv(wxFONTENCODING_CP1252);
}
