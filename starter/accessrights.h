#pragma once

#include <wx/string.h>

// Lets everyone and the administrators read, write and change `path` (a file
// or directory; its contents are not affected). True when the new rights
// were applied; nothing is reported otherwise.
bool OpenAccessRights(const wxString& path);
