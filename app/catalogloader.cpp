#include "app/catalogloader.h"

#include <wx/filefn.h>
#include <wx/stdpaths.h>

#include "app/language.h"

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

wxMsgCatalog* CCatalogLoader::LoadCatalog(const wxString& domain, const wxString& lang)
{
    const wxString path = FindCatalog(domain, lang);
    return path.empty() ? nullptr : wxMsgCatalog::CreateFromFile(path, domain);
}

wxArrayString CCatalogLoader::GetAvailableTranslations(const wxString& domain) const
{
    // Only the user's own language matters to this program.
    wxArrayString available;
    if (!FindCatalog(domain, m_canonicalName).empty())
        available.push_back(m_canonicalName);
    return available;
}

wxString CCatalogLoader::FindCatalog(const wxString& domain, const wxString& lang) const
{
    const wxString exeDir = wxPathOnly(wxStandardPaths::Get().GetExecutablePath());
    for (const wxString& candidate :
         CatalogCandidates(domain, lang, m_codePage, LookupPrefixes(), exeDir))
    {
        if (wxFileExists(candidate))
            return candidate;
    }
    return wxString();
}
