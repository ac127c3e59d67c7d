#include "registry/regkey.h"

#include <wx/dir.h>
#include <wx/ffile.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/tokenzr.h>
#include <wx/utils.h>

// The store is a directory tree: a key is a directory below the store's root,
// named by the key's path with the long name of its root key, and each string
// value is a file named after the value that holds the text as UTF-8. Names
// compare without regard to case, as in the Windows registry.

namespace
{

struct RootKeyName
{
    const char* longName;
    const char* shortName;
};

const RootKeyName kRootKeys[] = {
    {"HKEY_CLASSES_ROOT", "HKCR"},     {"HKEY_CURRENT_USER", "HKCU"},
    {"HKEY_LOCAL_MACHINE", "HKLM"},    {"HKEY_USERS", "HKU"},
    {"HKEY_PERFORMANCE_DATA", "HKPD"}, {"HKEY_CURRENT_CONFIG", "HKCC"},
    {"HKEY_DYN_DATA", "HKDD"},
};

wxString StoreRoot()
{
    wxString root;
    if (!wxGetEnv(wxS("TVDDS_REGISTRY_ROOT"), &root) || root.empty())
        root = wxS("/var/lib/tvdds/registry");
    return root;
}

// The store's name for the root key named at the start of a key path, or an
// empty string for a name that is no root key.
wxString LongRootName(const wxString& name)
{
    for (const RootKeyName& root : kRootKeys)
    {
        if (name.IsSameAs(root.longName, false) || name.IsSameAs(root.shortName, false))
            return root.longName;
    }
    return wxString();
}

// The entry of `dir` whose name equals `name` without regard to case, or
// `name` itself when there is none.
wxString MatchEntry(const wxString& dir, const wxString& name)
{
    wxDir listing;
    if (!wxDirExists(dir) || !listing.Open(dir))
        return name;
    wxString entry;
    for (bool more = listing.GetFirst(&entry); more; more = listing.GetNext(&entry))
    {
        if (entry.IsSameAs(name, false))
            return entry;
    }
    return name;
}

} // namespace

class CRegistryKey::Impl
{
public:
    explicit Impl(const wxString& fullPath) : m_fullPath(fullPath) {}

    // The key's directory, with every existing level spelled as stored; an
    // empty string when the path names no root key.
    wxString Directory() const
    {
        wxString subkey;
        const wxString root = LongRootName(m_fullPath.BeforeFirst('\\', &subkey));
        if (root.empty())
            return wxString();
        if (subkey.EndsWith(wxS("\\")))
            subkey.RemoveLast();

        wxString dir = StoreRoot() + wxFILE_SEP_PATH + root;
        wxStringTokenizer levels(subkey, wxS("\\"), wxTOKEN_STRTOK);
        while (levels.HasMoreTokens())
            dir += wxFILE_SEP_PATH + MatchEntry(dir, levels.GetNextToken());
        return dir;
    }

    wxString ValueFile(const wxString& name) const
    {
        const wxString dir = Directory();
        return dir + wxFILE_SEP_PATH + MatchEntry(dir, name);
    }

    const wxString& FullPath() const { return m_fullPath; }

private:
    wxString m_fullPath;
};

CRegistryKey::CRegistryKey(const wxString& fullPath) : m_impl(new Impl(fullPath)) {}

CRegistryKey::~CRegistryKey() = default;

bool CRegistryKey::Exists() const
{
    const wxString dir = m_impl->Directory();
    return !dir.empty() && wxDirExists(dir);
}

bool CRegistryKey::HasValue(const wxString& name) const
{
    return Exists() && wxFileExists(m_impl->ValueFile(name));
}

bool CRegistryKey::QueryValue(const wxString& name, wxString& text) const
{
    wxFFile file;
    bool opened = false;
    {
        // One message for every kind of failure, below.
        wxLogNull noOpenError;
        opened = HasValue(name) && file.Open(m_impl->ValueFile(name), "rb");
    }
    wxString content;
    if (!opened || !file.ReadAll(&content, wxConvUTF8))
    {
        wxLogError(_("Can't read value of '%s'"), m_impl->FullPath() + wxS("\\") + name);
        return false;
    }
    text = content;
    return true;
}

bool CRegistryKey::SetValue(const wxString& name, const wxString& text)
{
    if (!Exists())
    {
        wxLogError(_("Can't open registry key '%s'"), m_impl->FullPath());
        return false;
    }
    // wxTempFile writes beside the target and renames it into place, so a
    // reader never sees half a value.
    wxTempFile file(m_impl->ValueFile(name));
    const wxScopedCharBuffer utf8 = text.utf8_str();
    if (!file.IsOpened() || !file.Write(utf8.data(), utf8.length()) || !file.Commit())
    {
        wxLogError(_("Can't set value of '%s'"), m_impl->FullPath() + wxS("\\") + name);
        return false;
    }
    return true;
}

bool CRegistryKey::Create()
{
    const wxString dir = m_impl->Directory();
    if (dir.empty() || !wxFileName::Mkdir(dir, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL))
    {
        wxLogError(_("Can't create registry key '%s'"), m_impl->FullPath());
        return false;
    }
    return true;
}
