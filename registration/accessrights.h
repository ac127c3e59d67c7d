#pragma once

#include <wx/string.h>

// Lets everyone and the administrators read, write and change `path` (a file
// or directory; its contents are not affected); a link is followed to what it
// names. True when the new rights were applied; nothing is reported otherwise.
bool OpenAccessRights(const wxString& path);

// What opening a directory's rights came to.
enum class DirectoryRights
{
    Opened,
    // The system refused, or the directory does not exist.
    Failed,
    // The path, or a directory above it, is a link: nothing was changed.
    Link,
    // The path names something that is no directory: nothing was changed.
    NotADirectory,
};

// The same for the directory at the absolute path `path`, which is never
// reached through a link: the object opened must be a directory, and the
// path the system actually opened must be `path` itself.
DirectoryRights OpenDirectoryAccessRights(const wxString& path);

// What OpenDirectoryAccessRights() meets at `path`, with nothing changed:
// Opened stands for a directory whose rights it would open.
DirectoryRights InspectDirectory(const wxString& path);
