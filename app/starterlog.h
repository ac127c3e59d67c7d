#pragma once

#include <wx/apptrait.h>
#include <wx/log.h>

// The library's log for the end of the run: several entries are listed in the
// library's log dialog, unless no window can be created at all (no desktop to
// create it on). That dialog would then wait for a window that never appears;
// the entries go to one message box instead, which returns at once there.
// Where nobody could see or answer a window, each entry goes to the event log.
class StarterLog : public wxLogGui
{
public:
    void Flush() override;
};

// Gives the application that log.
class StarterAppTraits : public wxGUIAppTraits
{
public:
    wxLog* CreateLogTarget() override;
};
