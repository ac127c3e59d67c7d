#pragma once

#include <windows.h>

#include <vector>

// Which changes to an object count when the installer decides whether it may
// trust it.
enum class Reach
{
    // A file it runs or a directory whose files it runs: writing, deleting,
    // adding or removing what it holds, changing its rights or owner.
    Contents,
    // A directory above one of those: deleting or renaming it or what it
    // holds, changing its rights or owner.
    Place,
    // A drive's root, which cannot itself be renamed or deleted.
    Root,
    // A directory the installer is about to give its own rights: changing
    // its rights or owner, or making it a junction while it is empty, which
    // outlasts that through a handle opened before.
    Rights,
};

// SYSTEM, the Administrators group, TrustedInstaller and the account the
// installer runs as: the accounts that may change what the installer runs.
class TrustedAccounts
{
public:
    // With the account of this process's token.
    static TrustedAccounts OfThisProcess();
    explicit TrustedAccounts(PSID installingAccount);

    bool Contains(PSID sid) const;

private:
    void Add(PSID sid);

    std::vector<std::vector<BYTE>> m_sids;
};

// Whether anyone outside `trusted` may make a change of `reach` to the object
// whose owner and access list `descriptor` holds.
bool OthersMayChange(PSECURITY_DESCRIPTOR descriptor, Reach reach, const TrustedAccounts& trusted);
