#pragma once

#include <functional>
#include <string>
#include <vector>

#include <wx/arrstr.h>
#include <wx/string.h>

#include "common/passresult.h"

class wxMBConv;

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

// True for the double-byte ANSI code pages (Japanese, Chinese, Korean), in
// which a trail byte can be "[" or "]".
bool IsDoubleByteCodePage(unsigned codePage);

// The lines of the registration file: each line's bytes, and its text as far
// as the file's structure needs it.
struct RegistrationFileLines
{
    std::vector<std::string> bytes;
    std::vector<wxString> text;
};

// Cuts the file into lines and decodes each with `conv`, the ANSI code page.
// A line that is not text in it is read for its structure only, every byte
// above ASCII standing for a character no key or header holds: in UTF-8 and
// in the single-byte code pages no such byte can be "[", "]", "=" or a line
// end. In a double-byte code page (`doubleByte`) a trail byte can be "[" or
// "]", so such a line refuses the file, and so does a NUL byte anywhere;
// both refusals name the line.
PassResult ReadRegistrationLines(const std::string& bytes, const wxMBConv& conv, bool doubleByte,
                                 RegistrationFileLines& lines);

// The new bytes of the registration file: the product entered into the list
// of imaging systems unless it is listed, its section appended when it is
// missing and, when it is there, each line the product writes that differs
// from this installation's replaced in place. Every other line keeps its
// bytes; only new and replaced lines are encoded; every line ends in CR LF.
// AlreadyDone when nothing needs to change.
PassResult BuildRegisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                               bool dsWinCaller, const wxMBConv& conv, std::string& newBytes);

// The new bytes of the registration file without the product: its list
// entries and its sections removed, the list's later entries numbered down so
// that the list keeps no gap (only the digits of their keys change). Every
// other line keeps its bytes. AlreadyDone when the product is not there;
// OtherInstallation, and no bytes, when its section calls another program
// than `programPath` that `programExists` (a registration that calls a
// program that is gone belongs to nobody and is removed).
PassResult BuildUnregisteredFile(const RegistrationFileLines& file, const wxString& programPath,
                                 const std::function<bool(const wxString&)>& programExists,
                                 const wxMBConv& conv, std::string& newBytes);
