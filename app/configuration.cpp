#include "app/configuration.h"

#include <wx/filefn.h>
#include <wx/intl.h>

#include "common/product.h"
#include "registry/regkey.h"

wxString CheckAppPath(const CRegistryKey& key, wxString& appPath)
{
    if (!key.Exists())
        return _("REGISTRY ERROR: can't load configuration");
    if (!key.HasValue(kAppPathValue))
        return _("REGISTRY ERROR: Missing application path entry, can't load configuration");
    // A value that exists but cannot be read leaves the text empty.
    key.QueryValue(kAppPathValue, appPath);
    if (appPath.empty())
        return _("ERROR: Application path is empty, can't load configuration");
    if (!wxDirExists(appPath))
        return _("ERROR: Application path does not exist, can't load configuration");
    return wxString();
}
