#pragma once

#include <wx/log.h>
#include <wx/string.h>

// What an attempt at the registration, or one of its steps, came to. A
// refusal carries its reason in plain words and the system's error code
// behind it, if there was one.
struct PassResult
{
    enum class Outcome
    {
        Done,
        // Nothing needed doing.
        AlreadyDone,
        // The file no longer holds the bytes the step was made from.
        FileChanged,
        // The product's registration calls another installation's program.
        OtherInstallation,
        // The file is as the pass meant it, but the system's own reader of
        // it finds otherwise; the reason says what it finds.
        ReaderDisagrees,
        // Another program wrote to the file while it was replaced, and a
        // version that would otherwise be lost is kept beside it; the reason
        // says which file holds what.
        KeptAside,
        Refused,
    };

    static PassResult Of(Outcome outcome) { return PassResult{outcome, wxString(), 0}; }
    static PassResult Refused(const wxString& reason, unsigned long systemError = 0)
    {
        return PassResult{Outcome::Refused, reason, systemError};
    }

    bool Is(Outcome expected) const { return outcome == expected; }
    // The file is as the step meant it: changed now, or already so.
    bool Succeeded() const { return Is(Outcome::Done) || Is(Outcome::AlreadyDone); }

    // The reason, followed by the system's text for its error code.
    wxString Explanation() const
    {
        if (systemError == 0)
            return reason;
        return reason + wxS(" (") + wxSysErrorMsgStr(systemError) + wxS(")");
    }

    Outcome outcome;
    wxString reason;
    unsigned long systemError;
};
