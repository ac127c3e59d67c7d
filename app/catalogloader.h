#pragma once

#include <wx/translation.h>

class wxLocale;

// Finds the program's message catalogs below the lookup prefixes and beside
// the executable, trying the directory names of CatalogDirectoryNames().
class CCatalogLoader : public wxTranslationsLoader
{
public:
    CCatalogLoader(const wxString& canonicalName, unsigned codePage);

    // Adds a directory to the process-wide lookup list; an identical entry is
    // not added twice.
    static void AddLookupPrefix(const wxString& prefix);

    wxMsgCatalog* LoadCatalog(const wxString& domain, const wxString& lang) override;
    wxArrayString GetAvailableTranslations(const wxString& domain) const override;

private:
    wxString FindCatalog(const wxString& domain) const;

    wxString m_canonicalName;
    unsigned m_codePage;
};

// Sets `locale` to the user's language (German or English) and loads the
// program's catalog, looked for below `catalogDir` first. False when the
// locale could not be set up, or the catalog of a language other than English
// is missing.
bool UseUserLanguage(wxLocale& locale, const wxString& catalogDir);
