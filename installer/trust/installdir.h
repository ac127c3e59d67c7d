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
    // A link, junction or other reparse point, or a file with a second name.
    Link,
    // Something others may change (or whose owner and rights cannot be
    // read), that is not what an installation of ours puts there.
    Changeable,
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
// anything is written into it: the directories above it meet the rules of a
// place, the missing ones are created with the installation directory's
// rights, and an existing one gets those rights first and may then hold
// only what an installation of ours puts there and what others may not
// change, with no link anywhere.
Verdict PrepareInstallationDirectory(const std::wstring& dir, const TrustedAccounts& trusted);

// Gives every file and folder of ours in `dir` the installation directory's
// owner and rights.
Verdict SealInstallation(const std::wstring& dir);

// Whether the uninstaller of the earlier installation in `dir` may be run:
// nobody else may change it, the directory or the directories above.
Verdict CheckEarlierInstallation(const std::wstring& dir, const TrustedAccounts& trusted);

// Whether the file at `path` can be deleted now (true for a missing one):
// not a program that runs, nor a file another process holds.
bool CanBeRemoved(const std::wstring& path);
