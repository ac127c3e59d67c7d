#include "registry/regchecker.h"

CRegChecker::CRegChecker(const wxString& keyPath, const wxString& valueName)
    : m_key(keyPath), m_valueName(valueName)
{
    Setup();
}

void CRegChecker::Setup() {}

bool CRegChecker::KeyExists()
{
    return m_key.Exists();
}

wxString CRegChecker::GetValue(const wxString& name)
{
    const wxString& valueName = name.empty() ? m_valueName : name;
    wxString text;
    if (m_key.HasValue(valueName))
        m_key.QueryValue(valueName, text);
    return text;
}

bool CRegChecker::SetValue(const wxString& value)
{
    return m_key.SetValue(m_valueName, value);
}
