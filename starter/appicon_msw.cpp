#include "starter/appicon.h"

wxIcon LoadAppIcon()
{
    return wxIcon(wxS("AppIcon"), wxBITMAP_TYPE_ICO_RESOURCE);
}
