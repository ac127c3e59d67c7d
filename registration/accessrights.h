#pragma once

#include <wx/string.h>

// Lets everyone and the administrators read, write and change `path` (a file
// or directory; its contents are not affected); a link is followed to what it
// names. True when the new rights were applied; nothing is reported otherwise.
bool OpenAccessRights(const wxString& path);

// The same for the directory at `path`, which is never followed if it is a
// link: a link is left unchanged and `isLink` says so.
bool OpenDirectoryAccessRights(const wxString& path, bool& isLink);
