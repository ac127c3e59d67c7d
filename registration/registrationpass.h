#pragma once

#include <functional>
#include <string>
#include <vector>

#include <wx/string.h>

#include "common/passresult.h"
#include "registration/iniedit.h"
#include "registration/systemreader.h"

// The one-time entry of the product into vdds_mmi.ini, guarded by the
// registry flag VddsIniWritten.
class CVddsRegistration
{
public:
    // `systemReader` stands for the system's own reader of the file, which
    // confirms every pass and removal; where it is empty nothing is confirmed.
    CVddsRegistration(const wxString& appPath, const wxString& dataPath, bool dsWinCaller,
                      SystemReader systemReader = DefaultSystemReader());

    // Runs the registration pass unless the flag says it already ran; a pass
    // that leaves the product unregistered is reported in the wx error log.
    // False when the product is not registered afterwards.
    bool RegisterOnce();
    // Runs the registration pass whatever the flag says, as an explicit
    // set-up run asks; the same report and result as RegisterOnce().
    bool Register();
    // Runs the pass and opens the access rights: Done or AlreadyDone when the
    // registration file holds the product afterwards and the system's own
    // reader finds it there after the systems it found before, ReaderDisagrees
    // when that reader finds otherwise, otherwise Refused with the reason. A
    // backup that could not be made is reported on its own.
    PassResult WriteRegistration();
    // What WriteRegistration() would change in the registration file whose
    // lines are `file`, without writing anything: the lines the pass would
    // add, replace or remove, in the order the new file holds them; Done,
    // AlreadyDone when it would change nothing, or Refused with the reason
    // the pass would give.
    PassResult PlanRegistration(const RegistrationFileLines& file,
                                std::vector<LineChange>& changes) const;

    // Removes the product's entry and sections from the registration file,
    // unless they call another installation's program, which is reported as
    // a warning. A removal that failed is reported in the wx error log; false
    // then.
    bool Unregister();

    const wxString& WindowsDir() const { return m_windowsDir; }
    // The program the pass registers: this installation's.
    wxString ProgramPath() const;

    // The system's own reader where the system has one.
    static SystemReader DefaultSystemReader();

private:
    // Builds the file's new bytes from its lines, or says why not.
    using FileEdit = std::function<PassResult(const RegistrationFileLines&, std::string&)>;

    wxString RegistrationFilePath() const;
    // Why the pass cannot edit the file for this installation; Done when it
    // can.
    PassResult InstallationRefusal() const;
    // Runs `edit` on the registration file in one replace, after a backup,
    // again while another program changes the file meanwhile. `before` is
    // what the system's reader found in the file the edit was made from.
    PassResult EditFile(const FileEdit& edit, ReadersView& before);
    // Opens the access rights of the data configuration directory; a path
    // that is not absolute, or a link, is reported and left unchanged.
    void OpenDataConfigRights() const;
    PassResult TryEditFile(const wxString& iniPath, const FileEdit& edit, ReadersView& before);
    // `result` of an edit that left the product `registered` or taken out,
    // unless the system's own reader of the file, which found `before` in the
    // file the edit changed, finds otherwise now; a change it finds otherwise
    // is put back.
    PassResult ConfirmedBySystemReader(const PassResult& result, const ReadersView& before,
                                       bool registered) const;
    // Puts back the bytes the last replace replaced, provided the file still
    // holds the bytes it wrote; says how that went, in words that follow the
    // reader's finding.
    wxString PutBackLastReplace() const;
    void BackupRegistration(const wxString& iniPath, const RegistrationFileLines& file);

    wxString m_appPath;
    wxString m_dataPath;
    bool m_dsWinCaller;
    SystemReader m_systemReader;
    wxString m_windowsDir;
    // The bytes the last replace of the file replaced, and those it wrote.
    std::string m_replacedBytes;
    std::string m_writtenBytes;
};

// What the system's own reader of the registration file finds wrong with a
// registration of the program at `programPath` just made (`registered`) or
// taken out, in words that follow "the system's own reader of the file";
// empty when it finds what the pass meant. It found `before` in the file
// the pass changed and `after` in the file the pass left: after a
// registration the systems it listed before, in their order, and the product
// once, calling that program; after a removal the list it found before
// without the product.
wxString SystemReaderDisagreement(const ReadersView& before, const ReadersView& after,
                                  const wxString& programPath, bool registered);

// Another program that keeps rewriting the file wins after this many tries.
const int kEditAttempts = 5;

// Runs `attempt` until it comes to anything but FileChanged, at most
// kEditAttempts times; then the pass is refused.
PassResult RetryWhileFileChanges(const std::function<PassResult()>& attempt);
