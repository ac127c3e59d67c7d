#include "starter/appicon.h"

#include "resources/AppIcon.xpm"

wxIcon LoadAppIcon()
{
    return wxIcon(AppIcon_xpm);
}
