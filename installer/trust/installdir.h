#pragma once

#include <string>

#include "installer/trust/descriptorrules.h"

// What the installer's look at an installation found.
enum class Finding
{
    Sound,
    // A directory above it may be renamed, deleted or re-permissioned by
    // others, or has an owner who may.
    ChangeableAbove,
    // The installation directory itself has an owner outside the trusted
    // accounts, or others may change its rights.
    ForeignDirectory,
    // A link, junction or other reparse point, or a file with a second name.
    Link,
    // Something others may change (or whose owner and rights cannot be
    // read), that the installer does not write anew.
    Changeable,
    // Deeper below the installation directory than the installer looks.
    TooDeep,
    // A file the installation must hold is not there.
    Missing,
    // The system refused a step.
    Failed,
};

struct Verdict
{
    Finding finding = Finding::Sound;
    // What the finding is about.
    std::wstring path;
    // The system's error code of a failed step.
    DWORD error = ERROR_SUCCESS;
};

// Makes `dir` an installation directory nobody else can change, before
// anything is written into it, and changes nothing where it refuses it.
Verdict PrepareInstallationDirectory(const std::wstring& dir, const TrustedAccounts& trusted);

// Gives the installation directory and every file and folder of ours in it
// the installation's owner and rights, then checks that every file of ours
// is there and that nobody else may change it, anything in it or a
// directory above.
Verdict SealInstallation(const std::wstring& dir, const TrustedAccounts& trusted);

// Whether the programs of the installation in `dir` may be run elevated:
// the program and the uninstaller are there, and nobody else may change
// them, anything else in the directory, the directory or one above. It
// only looks, and changes nothing.
Verdict CheckInstallation(const std::wstring& dir, const TrustedAccounts& trusted);

// Whether `a` and `b` name the same directory, however they spell it.
bool IsSameDirectory(const std::wstring& a, const std::wstring& b);

enum class Removal
{
    // Missing, or nothing keeps it from being deleted now.
    Removable,
    // A program that runs, or a file another process holds.
    InUse,
    // The test marked it for deletion and the mark could not be taken back:
    // it goes once the system lets go of it.
    MarkKept,
};

// Whether the file at `path` can be deleted now.
Removal CanBeRemoved(const std::wstring& path);
