#include "app/catalogloader.h"

#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/stdpaths.h>

#include "app/language.h"
#include "common/platform.h"

namespace
{

wxArrayString& LookupPrefixes()
{
    static wxArrayString prefixes;
    return prefixes;
}

} // namespace

CCatalogLoader::CCatalogLoader(const wxString& canonicalName, unsigned codePage)
    : m_canonicalName(canonicalName), m_codePage(codePage)
{
}

void CCatalogLoader::AddLookupPrefix(const wxString& prefix)
{
    if (LookupPrefixes().Index(prefix) == wxNOT_FOUND)
        LookupPrefixes().push_back(prefix);
}

wxMsgCatalog* CCatalogLoader::LoadCatalog(const wxString& domain, const wxString& /*lang*/)
{
    // The library asks in turn for the canonical name with its own encoding
    // suffix, the canonical name and the language part. Each call searches
    // the program's own complete order for the language this loader was made
    // for, so that every "de_DE" directory is tried before any "de" one and
    // only the listed code pages give an encoding-named directory; a call that
    // finds nothing leaves nothing for the library's later calls to find.
    const wxString path = FindCatalog(domain);
    return path.empty() ? nullptr : wxMsgCatalog::CreateFromFile(path, domain);
}

wxArrayString CCatalogLoader::GetAvailableTranslations(const wxString& domain) const
{
    // Only the user's own language matters to this program.
    wxArrayString available;
    if (!FindCatalog(domain).empty())
        available.push_back(m_canonicalName);
    return available;
}

bool UseUserLanguage(wxLocale& locale, const wxString& catalogDir)
{
    const wxLanguage language = ChooseLanguage(wxLocale::GetSystemLanguage());
    if (!locale.Init(language, wxLOCALE_DONT_LOAD_DEFAULT))
        return false;

    CCatalogLoader::AddLookupPrefix(catalogDir);
    const wxString canonicalName = wxLocale::GetLanguageCanonicalName(language);
    wxTranslations::Get()->SetLoader(new CCatalogLoader(canonicalName, AnsiCodePage()));
    // English needs no catalog: the message ids are the English texts.
    return locale.AddCatalog(wxS("tvdds"), wxLANGUAGE_ENGLISH_US) ||
           canonicalName.StartsWith(wxS("en"));
}

wxString CCatalogLoader::FindCatalog(const wxString& domain) const
{
    const wxString exeDir = wxPathOnly(wxStandardPaths::Get().GetExecutablePath());
    for (const wxString& candidate :
         CatalogCandidates(domain, m_canonicalName, m_codePage, LookupPrefixes(), exeDir))
    {
        if (wxFileExists(candidate))
            return candidate;
    }
    return wxString();
}
