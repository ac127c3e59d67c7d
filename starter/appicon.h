#pragma once

#include <wx/icon.h>

// The program's "AppIcon" picture.
wxIcon LoadAppIcon();
