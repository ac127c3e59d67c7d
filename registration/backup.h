#pragma once

#include <string>

#include <wx/string.h>

#include "common/passresult.h"
#include "registration/registrationfile.h"

class wxDateTime;

// The bytes of a backup of the file whose lines are `file`: the file's
// byte-order mark, then its lines, each line's bytes as they are, each ending
// in CR LF in the file's encoding.
std::string BackupBytes(const RegistrationFileLines& file);

// The path of the newest backup in `dir`, by the date and time in its name,
// or an empty string when there is none.
wxString NewestBackup(const wxString& dir);

// Saves `bytes` as a new file "vdds_mmi_<date>_<time>.bak" in `dir`; when that
// name is taken, "_2", "_3", ... go before ".bak", so that no earlier backup is
// ever replaced. Bytes equal to the newest backup already in `dir` are not
// written again (AlreadyDone). `path` names the backup that holds the bytes;
// a refusal says why none could be written. Nothing is logged.
PassResult WriteBackup(const std::string& bytes, const wxString& dir, const wxDateTime& when,
                       wxString& path);
