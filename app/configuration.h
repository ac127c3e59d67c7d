#pragma once

#include <wx/string.h>

class CRegistryKey;

// Reads the installation directory from the product's registry `key` into
// `appPath` as the program does at start-up; returns the message with which
// the program then refuses to start, or an empty string when it starts.
wxString CheckAppPath(const CRegistryKey& key, wxString& appPath);
