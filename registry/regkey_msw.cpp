#include "registry/regkey.h"

#include <wx/msw/registry.h>

// wxRegKey parses the root key's long and short names, opens the key lazily
// and logs its own failures.
class CRegistryKey::Impl
{
public:
    explicit Impl(const wxString& fullPath) : key(fullPath) {}

    wxRegKey key;
};

CRegistryKey::CRegistryKey(const wxString& fullPath) : m_impl(new Impl(fullPath)) {}

CRegistryKey::~CRegistryKey() = default;

bool CRegistryKey::Exists() const
{
    return m_impl->key.Exists();
}

bool CRegistryKey::HasValue(const wxString& name) const
{
    return m_impl->key.HasValue(name);
}

bool CRegistryKey::QueryValue(const wxString& name, wxString& text) const
{
    return m_impl->key.QueryValue(name, text, false);
}

bool CRegistryKey::SetValue(const wxString& name, const wxString& text)
{
    return m_impl->key.SetValue(name, text);
}

bool CRegistryKey::Create()
{
    return m_impl->key.Create(true);
}
