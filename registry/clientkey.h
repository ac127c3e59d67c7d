#pragma once

#include <wx/string.h>

// The one registry key that holds the product's settings.
extern const wxString kClientKeyPath;
