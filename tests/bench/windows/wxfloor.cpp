// The least a wxWidgets program does for tvdds's two jobs: built against the
// same library with the same manifest, it shows how much of tvdds's time is
// the library's own start-up and INI model.
//   wxfloor.exe launch ARGUMENT      starts "tivoracl.exe ARGUMENT" and ends
//   wxfloor.exe copy INI BACKUPDIR   builds the library's INI model of INI,
//                                    then copies it as "baseline.exe copy" does
//   wxfloor.exe confirm INI BACKUPDIR  the same, with the program's reading of
//                                    INI through the system's profile reader
//                                    before and after the copy, as tvdds.exe
//                                    confirms its edit
#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/strconv.h>

#include "jobs.h"
#include "registration/systemreader.h"

namespace
{

int CopyWithModel(const wxString& ini, const wxString& backupDir)
{
    wxFileConfig model(wxString(), wxString(), ini, wxString(),
                       wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_NO_ESCAPE_CHARACTERS,
                       wxCSConv(wxFONTENCODING_SYSTEM));
    model.DisableAutoSave();
    return CopyAndReplace(ini.ToStdWstring(), backupDir.ToStdWstring());
}

int CopyConfirmed(const wxString& ini, const wxString& backupDir)
{
    ReadersView before, after;
    if (!ReadWithSystemReader(ini, before).Is(PassResult::Outcome::Done))
        return 1;
    const int copied = CopyWithModel(ini, backupDir);
    if (copied != 0 || !ReadWithSystemReader(ini, after).Is(PassResult::Outcome::Done))
        return 1;
    return after.systems == before.systems ? 0 : 1;
}

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
            return CopyWithModel(argv[2], argv[3]);
        if (command == wxS("confirm") && argc == 4)
            return CopyConfirmed(argv[2], argv[3]);
        return 2;
    }
};

} // namespace

wxIMPLEMENT_APP(FloorApp);
