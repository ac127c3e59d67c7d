#pragma once

#include <wx/arrstr.h>
#include <wx/language.h>
#include <wx/string.h>

class wxMsgCatalog;

// German for every German user locale, English for all others.
wxLanguage ChooseLanguage(int systemLanguage);

// The names a catalog directory may have for `canonicalName` ("de_DE"), in
// the order they are tried: with the ANSI code page's encoding name (only for
// the code pages 874, 932, 936, 949, 950 and 1250 to 1257), as it is, and its
// language part alone.
wxArrayString CatalogDirectoryNames(const wxString& canonicalName, unsigned codePage);

// Every path where the catalog file of `domain` is looked for, first hit
// wins: for each directory name X, below each prefix P in the order added
// P/X/LC_MESSAGES, P, P/X; then X below the executable's directory.
wxArrayString CatalogCandidates(const wxString& domain, const wxString& canonicalName,
                                unsigned codePage, const wxArrayString& prefixes,
                                const wxString& exeDir);
