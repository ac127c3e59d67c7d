#pragma once

#include <string>

#include <wx/arrstr.h>
#include <wx/string.h>

class wxDateTime;
class wxFileConfig;
class wxMBConv;

// The name of the section that lists the registered imaging systems: the
// first section, in the model's enumeration order, whose name holds "BVS"
// followed by a blank, or is exactly "BVS"; "BVS" when there is none.
wxString FindBvsSection(wxFileConfig& model);

// The product's own section, appended at the end of the registration file.
wxArrayString ProductSectionLines(const wxString& programPath, bool dsWinCaller);

// Splits text at "\r\n", "\n" and a lone "\r"; a final line break does not
// start another line.
wxArrayString SplitLines(const wxString& text);

// Decodes the bytes of a file; false when they are not all text in `conv`.
bool DecodeText(const std::string& bytes, const wxMBConv& conv, wxString& text);

// Encodes `text`; false when some character has no encoding in `conv`.
bool EncodeText(const wxString& text, const wxMBConv& conv, std::string& bytes);

// The bytes of a backup of the file whose bytes are `fileBytes` and whose
// decoded text is `fileText`: its lines, each ending in CR LF, in `conv`.
bool BackupBytes(const std::string& fileBytes, const wxString& fileText, const wxMBConv& conv,
                 std::string& bytes);

// Saves `bytes` as a new file "vdds_mmi_<date>_<time>.bak" in `dir`; when that
// name is taken, "_2", "_3", ... go before ".bak", so that no earlier backup is
// ever replaced. Bytes equal to the newest backup already in `dir` are not
// written again. Returns the path of the backup holding the bytes, or an empty
// string when none could be written (one entry in the wx error log).
wxString WriteBackup(const std::string& bytes, const wxString& dir, const wxDateTime& when);

enum class RegistrationOutcome
{
    Added,
    AlreadyPresent,
    Failed,
};

// The new content of the registration file at `iniPath`, whose current text
// is `oldText`: the product entered into the BVS list and the product section
// appended, every old line kept verbatim and in order, lines ending in CR LF.
RegistrationOutcome BuildRegisteredText(const wxString& iniPath, const wxString& oldText,
                                        const wxString& programPath, bool dsWinCaller,
                                        const wxMBConv& conv, wxString& newText);
