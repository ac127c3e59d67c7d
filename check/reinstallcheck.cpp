#include <wx/intl.h>

#include "check/checks.h"

namespace
{

// One line the registration pass would change, as a problem whose remedy is
// installing the product again.
wxString ChangeProblem(const LineChange& change, const FileState& file, const wxString& path)
{
    const int number = static_cast<int>(change.line + 1);
    const wxString installAgain = InstallAgain(file);
    switch (change.kind)
    {
    case LineChange::Kind::Replace:
        return wxString::Format(_("Line %d of %s reads \"%s\". %s: it writes %s."), number, path,
                                file.lines.text[change.line], installAgain, change.text);
    case LineChange::Kind::Remove:
        return wxString::Format(_("Line %d of %s reads \"%s\". %s: it removes the line."), number,
                                path, file.lines.text[change.line], installAgain);
    case LineChange::Kind::Add:
        break;
    }
    if (change.line < file.lines.text.size())
        return wxString::Format(
            _("A line is missing before line %d of %s. %s: it writes %s there."), number, path,
            installAgain, change.text);
    return wxString::Format(_("A line is missing at the end of %s. %s: it writes %s there."), path,
                            installAgain, change.text);
}

} // namespace

wxString InstallAgain(const FileState& file)
{
    if (file.writeProtected)
        return _("Remove the read-only attribute of the file (Properties), then install the "
                 "product again");
    return _("Install the product again");
}

void CheckWhatInstallingAgainChanges(const Installation& installation, const FileState& file,
                                     const Answered& answered, Findings& findings)
{
    const wxString& path = installation.registrationFile;
    if (path.empty() || file.Unreadable())
        return;
    if (!file.read.Is(PassResult::Outcome::Done))
    {
        if (!answered.refusal)
            findings.Problem(wxString::Format(
                _("Installing the product again cannot register Tivora in %s: %s."), path,
                file.read.Explanation()));
        return;
    }
    if (file.plan.Is(PassResult::Outcome::AlreadyDone))
    {
        findings.Note(
            wxString::Format(_("Installing the product again would change no line of %s."), path));
        return;
    }
    if (!file.plan.Is(PassResult::Outcome::Done))
    {
        findings.CouldNotCheck(wxString::Format(
            _("What installing the product again would change in %s cannot be told: the "
              "registration cannot run as the registry names the installation now (%s). "
              "Installing the product again is the remedy."),
            path, file.plan.Explanation()));
        return;
    }
    // Lines planned for a file whose [BVS] header a byte-order mark hides
    // would mislead once the mark is removed.
    if (!file.ChangesListed())
        return;
    for (const LineChange& change : file.changes)
        findings.Problem(ChangeProblem(change, file, path));
}
