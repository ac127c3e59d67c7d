#include "starter/launchrules.h"

bool IsDsWinCaller(const wxString& callerArgument)
{
    return callerArgument.Contains(wxS("dswin"));
}

bool IsInitSetupRequest(const wxString& firstArgument)
{
    return firstArgument.Contains(wxS("initsetup"));
}

bool IsRemoveSetupRequest(const wxString& firstArgument)
{
    return firstArgument.IsSameAs(wxS("removesetup"), false);
}
