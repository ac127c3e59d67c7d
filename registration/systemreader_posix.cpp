#include "registration/systemreader.h"

#include <wx/intl.h>

PassResult ReadWithSystemReader(const wxString&, ReadersView& view)
{
    view = ReadersView();
    return PassResult::Refused(_("this system has no profile reader of its own"));
}

bool HasSystemReader()
{
    // No profile API here: the program's own reader is all there is.
    return false;
}
