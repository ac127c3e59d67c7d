#pragma once

#include <functional>
#include <string>
#include <vector>

#include <wx/arrstr.h>
#include <wx/string.h>

#include "common/passresult.h"
#include "registration/registrationfile.h"

class wxMBConv;

// The product's own section, appended at the end of the registration file.
wxArrayString ProductSectionLines(const wxString& programPath, bool dsWinCaller);

// Encodes `text`; false when some character has no encoding in `conv`.
bool EncodeText(const wxString& text, const wxMBConv& conv, std::string& bytes);

// The new bytes of the registration file: the product entered into the list
// of imaging systems at the number where readers stop unless they find it
// there, its section appended when it is missing and, when it is there, each
// line the product writes that differs from this installation's replaced in
// place. No line beyond the section an edit is made in is touched; every
// other line keeps its bytes; only new and replaced lines are encoded, in the
// file's encoding (`conv` for an ANSI file); every line ends in CR LF in that
// encoding, and a UTF-16LE file keeps its byte-order mark. AlreadyDone when
// nothing needs to change.
PassResult BuildRegisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                               bool dsWinCaller, const wxMBConv& conv, std::string& newBytes);

// One line an edit of the registration file adds, replaces or removes.
struct LineChange
{
    enum class Kind
    {
        Add,
        Replace,
        Remove,
    };

    Kind kind;
    // The index of the line replaced or removed; for an added line, of the
    // line it goes before (the number of lines: at the end).
    size_t line;
    // The new line's bytes in the file's encoding, without its line break,
    // and its text; none for a removed line.
    std::string bytes;
    wxString text;
};

// What BuildRegisteredFile() would change, without building the file: the
// same outcome, and in place of the new bytes the lines it adds, replaces or
// removes, in the order the new file holds them. The new file is the old
// one's lines with these changes made, each line ending in CR LF in the
// file's encoding, after the byte-order mark a UTF-16LE file keeps.
PassResult PlanRegisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                              bool dsWinCaller, const wxMBConv& conv,
                              std::vector<LineChange>& changes);

// The text of the lines `text` once `changes`, a plan's changes in their
// order, are made in them.
std::vector<wxString> ChangedText(const std::vector<wxString>& text,
                                  const std::vector<LineChange>& changes);

// The new bytes of the registration file without the product: its list
// entries and its sections removed, and the list's later entries numbered
// down, so that readers find the list they found before without the product
// (only the digits of keys change, and a later entry may move up into the
// product's line). Every other line keeps its bytes. AlreadyDone when the product is not there;
// OtherInstallation, and no bytes, when its section calls another program
// than `programPath` that `programExists` (a registration that calls a
// program that is gone belongs to nobody and is removed).
PassResult BuildUnregisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                                 const std::function<bool(const wxString&)>& programExists,
                                 const wxMBConv& conv, std::string& newBytes);
