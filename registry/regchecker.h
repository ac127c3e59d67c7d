#pragma once

#include <wx/string.h>

#include "registry/regkey.h"

// One registry key bound to the value name it reads and writes by default.
// The destructor is not virtual: owners create and destroy the object through
// this class, which is final so that no derived object is deleted that way.
class CRegChecker final
{
public:
    CRegChecker(const wxString& keyPath, const wxString& valueName);
    ~CRegChecker() = default;

    CRegChecker(const CRegChecker&) = delete;
    CRegChecker& operator=(const CRegChecker&) = delete;

    virtual void Setup();
    virtual bool KeyExists();
    // Reads `name`, or the bound value name when `name` is empty; a missing
    // key or value gives the empty string.
    virtual wxString GetValue(const wxString& name);
    virtual bool SetValue(const wxString& value);

private:
    CRegistryKey m_key;
    wxString m_valueName;
};
