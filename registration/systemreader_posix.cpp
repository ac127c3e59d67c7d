#include "registration/systemreader.h"

bool ReadWithSystemReader(const wxString&, ReadersView&)
{
    // No profile API here: the program's own reader is all there is.
    return false;
}
