#include "app/language.h"

#include <wx/filefn.h>

wxLanguage ChooseLanguage(int systemLanguage)
{
    switch (systemLanguage)
    {
    case wxLANGUAGE_GERMAN:
    case wxLANGUAGE_GERMAN_GERMANY:
    case wxLANGUAGE_GERMAN_AUSTRIAN:
    case wxLANGUAGE_GERMAN_BELGIUM:
    case wxLANGUAGE_GERMAN_LIECHTENSTEIN:
    case wxLANGUAGE_GERMAN_LUXEMBOURG:
    case wxLANGUAGE_GERMAN_SWISS:
        // All of them run in plain German: there is one German catalog.
        return wxLANGUAGE_GERMAN;
    default:
        return wxLANGUAGE_ENGLISH_UK;
    }
}

wxArrayString CatalogDirectoryNames(const wxString& canonicalName, unsigned codePage)
{
    wxArrayString names;
    const bool namedCodePage = codePage == 874 || codePage == 932 || codePage == 936 ||
                               codePage == 949 || codePage == 950 ||
                               (codePage >= 1250 && codePage <= 1257);
    if (namedCodePage)
        names.push_back(wxString::Format(wxS("%s.WINDOWS-%u"), canonicalName, codePage));
    names.push_back(canonicalName);
    if (canonicalName.Contains(wxS("_")))
        names.push_back(canonicalName.BeforeFirst('_'));
    return names;
}

wxArrayString CatalogCandidates(const wxString& domain, const wxString& canonicalName,
                                unsigned codePage, const wxArrayString& prefixes,
                                const wxString& exeDir)
{
    const wxString file = wxFILE_SEP_PATH + domain + wxS(".mo");
    wxArrayString candidates;
    for (const wxString& name : CatalogDirectoryNames(canonicalName, codePage))
    {
        for (const wxString& prefix : prefixes)
        {
            candidates.push_back(prefix + wxFILE_SEP_PATH + name + wxFILE_SEP_PATH +
                                 wxS("LC_MESSAGES") + file);
            candidates.push_back(prefix + file);
            candidates.push_back(prefix + wxFILE_SEP_PATH + name + file);
        }
        candidates.push_back(exeDir + wxFILE_SEP_PATH + name + file);
    }
    return candidates;
}
