// The least a wxWidgets program does for tvdds's two jobs: built against the
// same library with the same manifest, it shows how much of tvdds's time is
// the library's own start-up and INI model.
//   wxfloor.exe launch ARGUMENT      starts "tivoracl.exe ARGUMENT" and ends
//   wxfloor.exe copy INI BACKUPDIR   builds the library's INI model of INI,
//                                    then copies it as "baseline.exe copy" does
#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/strconv.h>

#include "jobs.h"

namespace
{

class FloorApp : public wxApp
{
public:
    // The base class would take the arguments for options of its own.
    bool OnInit() override { return true; }

    int OnRun() override
    {
        const wxString command = argc > 1 ? argv[1] : wxString();
        if (command == wxS("launch") && argc == 3)
            return LaunchClient(argv[2].ToStdWstring());
        if (command == wxS("copy") && argc == 4)
        {
            wxFileConfig model(wxString(), wxString(), argv[2], wxString(),
                               wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_NO_ESCAPE_CHARACTERS,
                               wxCSConv(wxFONTENCODING_SYSTEM));
            model.DisableAutoSave();
            return CopyAndReplace(argv[2].ToStdWstring(), argv[3].ToStdWstring());
        }
        return 2;
    }
};

} // namespace

wxIMPLEMENT_APP(FloorApp);
