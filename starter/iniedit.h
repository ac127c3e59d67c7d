#pragma once

#include <string>
#include <vector>

#include <wx/arrstr.h>
#include <wx/string.h>

#include "starter/passresult.h"

class wxFileConfig;
class wxMBConv;

// The name of the section that lists the registered imaging systems: the
// first section, in the model's enumeration order, whose name holds "BVS"
// followed by a blank, or is exactly "BVS"; "BVS" when there is none.
wxString FindBvsSection(wxFileConfig& model);

// The product's own section, appended at the end of the registration file.
wxArrayString ProductSectionLines(const wxString& programPath, bool dsWinCaller);

// Cuts bytes into lines at CR LF, LF and a lone CR; a final line break does
// not start another line. No Windows ANSI code page has a CR or LF byte
// inside a multibyte character, so lines can be cut before decoding.
std::vector<std::string> SplitLines(const std::string& bytes);

// Decodes the bytes of a file; false when they are not all text in `conv`.
bool DecodeText(const std::string& bytes, const wxMBConv& conv, wxString& text);

// Encodes `text`; false when some character has no encoding in `conv`.
bool EncodeText(const wxString& text, const wxMBConv& conv, std::string& bytes);

// The new bytes of the registration file at `iniPath`, whose bytes are
// `oldBytes` and whose text, decoded with `conv`, is `oldText`: the product
// entered into the BVS list and its section appended. Every old line keeps its
// bytes exactly; only the new lines are encoded; every line ends in CR LF.
// AlreadyDone when the file lists the product and holds its section; a file
// that holds the section but lost its list entry gets the entry alone.
PassResult BuildRegisteredFile(const wxString& iniPath, const std::string& oldBytes,
                               const wxString& oldText, const wxString& programPath,
                               bool dsWinCaller, const wxMBConv& conv, std::string& newBytes);
