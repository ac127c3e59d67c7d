#include "registration/filereplace.h"

#include <functional>
#include <vector>

#include <wx/dir.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/process.h>
#include <wx/time.h>
#include <wx/utils.h>

#include "common/platform.h"
#include "common/requestedlog.h"
#include "registration/fileops.h"

namespace
{

// How long a file another program holds open is waited for, and the pause
// between two tries.
const long kBusyWaitMs = 1000;
const unsigned long kBusyPauseMs = 50;

// A name is taken by a file, a directory or a link, whatever it names.
const int kAnyNotFollowed = wxFILE_EXISTS_ANY | wxFILE_EXISTS_NO_FOLLOW;

// A temporary file or second name is left over only where it could not be
// removed either, a scanner's hold on it waited for as long as on the file;
// an empty path names none.
void RemoveTempFile(const wxString& temp)
{
    const wxLogNull quiet;
    unsigned long error = 0;
    if (!temp.empty())
        TryWhileBusy(
            [&](unsigned long& removeError)
            {
                if (wxRemoveFile(temp) || !wxFileName::Exists(temp, kAnyNotFollowed))
                    return true;
                removeError = wxSysErrorCode();
                return false;
            },
            error);
}

PassResult TooLarge()
{
    return PassResult::Refused(wxString::Format(
        _("the file is larger than %d MB, which no registration file needs; it is probably "
          "damaged, restore it from a backup"),
        static_cast<int>(kMostFileBytes / (1024 * 1024))));
}

// The marks of the further names a replace gives the file, followed by the
// process id and a count: a second name while the replace runs, a kept name
// for a version that would otherwise be lost. No person or other program
// names a copy so.
const wxString kSecondNameMark(wxS(".tvdds-link-"));
const wxString kKeptNameMark(wxS(".tvdds-kept-"));


// A name beside `path` with `mark` that no file or link has yet (an ended
// process with this process's id may have left one), none given twice by
// this process.
wxString MarkedNameBeside(const wxString& path, const wxString& mark)
{
    static int made = 0;
    wxString name;
    do
        name = path + mark + wxString::Format(wxS("%lu-%d"), wxGetProcessId(), made++);
    while (wxFileName::Exists(name, kAnyNotFollowed));
    return name;
}

// Gives the second name `secondName` a kept name, which no later replace
// removes; the name the version can be found under afterwards (the second
// name where it cannot be renamed, which the next replace then keeps).
wxString KeepUnderItsOwnName(const wxString& path, const wxString& secondName)
{
    const wxLogNull quiet;
    const wxString kept = MarkedNameBeside(path, kKeptNameMark);
    return wxRenameFile(secondName, kept, false) ? kept : secondName;
}

// Keeps a version an ended replace left under a second name and says where,
// in the event log and the requested log: the run itself succeeds, and
// nobody would learn otherwise that another program's write may be in it
// rather than in the file.
void KeepLeftoverVersion(const wxString& path, const wxString& leftover)
{
    const wxString kept = KeepUnderItsOwnName(path, leftover);
    const wxString report =
        wxString::Format(_("%s holds a version of %s that an earlier registration left when it "
                           "ended unfinished; another program's change may be in it rather than "
                           "in the file. Compare the two, then delete the version."),
                         kept, path);
    AppendToRequestedLog(report);
    ReportToEventLog(report, EventType::Warning);
}

// Whether the process `pid` that made a second name has ended. This
// process has no second name while no replace runs, so one with its id is
// an ended process's that had the same id.
bool HasEnded(unsigned long pid)
{
    return pid == wxGetProcessId() || !wxProcess::Exists(static_cast<int>(pid));
}

// Deals with the second names of `path` that a replace left when its
// process ended before it could (killed, or a scanner held the name
// meanwhile). One that is still a name of the file itself holds nothing of
// its own and is removed; any other may hold what another program wrote in
// the moment of the rename, so it is kept under a kept name instead.
void SettleLeftoverSecondNames(const wxString& path)
{
    const wxLogNull quiet;
    const wxFileName file(path);
    wxDir dir(file.GetPath());
    if (!dir.IsOpened())
        return;
    const wxString prefix = file.GetFullName() + kSecondNameMark;
    std::vector<wxString> leftovers;
    wxString name;
    // A second name has the attributes of the file, which may be hidden.
    for (bool found = dir.GetFirst(&name, prefix + wxS("*"), wxDIR_FILES | wxDIR_HIDDEN); found;
         found = dir.GetNext(&name))
    {
        unsigned long pid = 0;
        const wxString owner = name.Mid(prefix.length()).BeforeFirst('-');
        if (owner.ToULong(&pid) && HasEnded(pid))
            leftovers.push_back(file.GetPath() + wxFILE_SEP_PATH + name);
    }
    for (const wxString& leftover : leftovers)
    {
        if (AreSameFile(path, leftover))
            wxRemoveFile(leftover);
        else
            KeepLeftoverVersion(path, leftover);
    }
}

// Done when the file holds exactly `expected`, FileChanged when it does not,
// Refused with the system's error code when it cannot be read; other
// writers are held off while it is read. While it is held the file gets a
// second name, returned in `secondName` (empty where the file system or the
// rights give none), under which it can still be read once it is replaced.
PassResult CompareWhileHeld(const wxString& path, const std::string& expected, wxString& secondName)
{
    secondName.clear();
    std::string bytes;
    unsigned long error = 0;
    const auto giveSecondName = [&]
    {
        unsigned long linkError = 0;
        secondName = MarkedNameBeside(path, kSecondNameMark);
        if (!MakeHardLink(path, secondName, linkError))
            secondName.clear();
    };
    // One byte more than expected shows a file that grew.
    if (!ReadWhileHeld(path, expected.size() + 1, bytes, error, giveSecondName))
        return PassResult::Refused(wxString(), error);
    return PassResult::Of(bytes == expected ? PassResult::Outcome::Done
                                            : PassResult::Outcome::FileChanged);
}

// Renames `source` over `target` provided the target holds exactly
// `expected`: Done, FileChanged or Refused with the reason; on any outcome
// but Done nothing is renamed. The target is compared as late as possible
// and held against writers while it is compared, so that an edit another
// program makes in the meantime is seen rather than overwritten; a rename
// that has to wait compares again. After Done, `replaced` names the file the
// rename replaced, or is empty where it could not be given a second name;
// after any other outcome it names nothing left on disk.
PassResult RenameOverIfUnchanged(const wxString& target, const wxString& source,
                                 const std::string& expected, wxString& replaced)
{
    PassResult held = PassResult::Of(PassResult::Outcome::Done);
    unsigned long error = 0;
    const bool renamed = TryWhileBusy(
        [&](unsigned long& stepError)
        {
            RemoveTempFile(replaced);
            held = CompareWhileHeld(target, expected, replaced);
            stepError = held.systemError;
            return held.Is(PassResult::Outcome::Done) && RenameOver(source, target, stepError);
        },
        error);
    if (renamed)
        return PassResult::Of(PassResult::Outcome::Done);
    RemoveTempFile(replaced);
    if (held.Is(PassResult::Outcome::FileChanged))
        return held;
    if (held.Is(PassResult::Outcome::Refused))
        return PassResult::Refused(_("the file could not be read"), error);
    return PassResult::Refused(_("the file could not be replaced"), error);
}

} // namespace

bool TryWhileBusy(const std::function<bool(unsigned long&)>& step, unsigned long& error)
{
    const wxLongLong deadline = wxGetLocalTimeMillis() + kBusyWaitMs;
    for (;;)
    {
        error = 0;
        if (step(error))
            return true;
        if (!IsBusyError(error) || wxGetLocalTimeMillis() >= deadline)
            return false;
        wxMilliSleep(kBusyPauseMs);
    }
}

PassResult ReadWholeFile(const wxString& path, std::string& bytes)
{
    bytes.clear();
    if (!wxFileExists(path))
    {
        if (wxDirExists(path))
            return PassResult::Refused(_("it is a directory"));
        return PassResult::Of(PassResult::Outcome::Done);
    }

    // The caller reports a failure once, with the system's error code.
    const wxLogNull quiet;
    wxFile file;
    unsigned long error = 0;
    if (!TryWhileBusy(
            [&](unsigned long& openError)
            {
                if (file.Open(path, wxFile::read))
                    return true;
                openError = wxSysErrorCode();
                return false;
            },
            error))
        return PassResult::Refused(_("the file could not be read"), error);
    const wxFileOffset length = file.Length();
    if (length > static_cast<wxFileOffset>(kMostFileBytes))
        return TooLarge();
    bytes.reserve(length > 0 ? static_cast<size_t>(length) : 0);
    // Read to the end rather than to the length seen at the start: a file
    // that grows meanwhile is read with what was added.
    char chunk[65536];
    for (;;)
    {
        const ssize_t got = file.Read(chunk, sizeof(chunk));
        if (got == wxInvalidOffset)
            return PassResult::Refused(_("the file could not be read"), wxSysErrorCode());
        if (got == 0)
            return PassResult::Of(PassResult::Outcome::Done);
        if (bytes.size() + static_cast<size_t>(got) > kMostFileBytes)
            return TooLarge();
        bytes.append(chunk, static_cast<size_t>(got));
    }
}

bool FileHolds(const wxString& path, const std::string& expected)
{
    std::string bytes;
    return ReadWholeFile(path, bytes).Is(PassResult::Outcome::Done) && bytes == expected;
}

PassResult ReplaceFileIfUnchanged(const wxString& path, const std::string& expected,
                                  const std::string& bytes)
{
    wxString target;
    if (!FollowLinks(path, target))
        return PassResult::Refused(
            _("it is a link whose target cannot be found, and the link itself is never replaced"));
    // A read-only file is never replaced, although a rename could.
    if (IsWriteProtected(target))
        return PassResult::Refused(_("the file is write-protected"));
    SettleLeftoverSecondNames(target);

    unsigned long error = 0;
    wxString temp;
    if (!TryWhileBusy(
            [&](unsigned long& writeError)
            {
                temp = WriteTempFileBeside(target, bytes, writeError);
                return !temp.empty();
            },
            error))
        return PassResult::Refused(_("the file could not be replaced"), error);

    wxString replaced;
    const PassResult renamed = RenameOverIfUnchanged(target, temp, expected, replaced);
    if (!renamed.Is(PassResult::Outcome::Done))
    {
        RemoveTempFile(temp);
        return renamed;
    }
    return KeepWritesThatSlippedIn(target, expected, bytes, replaced);
}

PassResult KeepWritesThatSlippedIn(const wxString& path, const std::string& expected,
                                   const std::string& bytes, const wxString& replaced)
{
    if (replaced.empty() || FileHolds(replaced, expected))
    {
        RemoveTempFile(replaced);
        return PassResult::Of(PassResult::Outcome::Done);
    }
    wxString replacedAgain;
    const PassResult restored = RenameOverIfUnchanged(path, replaced, bytes, replacedAgain);
    if (!restored.Is(PassResult::Outcome::Done))
        return PassResult{PassResult::Outcome::KeptAside,
                          wxString::Format(_("%s holds this change, but not what another program "
                                             "wrote to it at the same moment, which is kept in %s"),
                                           path, KeepUnderItsOwnName(path, replaced)),
                          0};
    if (replacedAgain.empty() || FileHolds(replacedAgain, bytes))
    {
        RemoveTempFile(replacedAgain);
        return PassResult::Of(PassResult::Outcome::FileChanged);
    }
    return PassResult{PassResult::Outcome::KeptAside,
                      wxString::Format(_("another program wrote to %s twice at the same moment: "
                                         "the file holds what it wrote first, without this "
                                         "change; this change with what it wrote next is kept "
                                         "in %s"),
                                       path, KeepUnderItsOwnName(path, replacedAgain)),
                      0};
}
