#pragma once

#include <wx/string.h>

// The directory that holds vdds_mmi.ini.
wxString WindowsDirectory();
