#pragma once

#include <memory>

#include <wx/string.h>

// A key of the machine's settings store, named by its full path with the root
// key first ("HKEY_LOCAL_MACHINE\SOFTWARE\..."). Failures of reads, writes and
// creation go to the wx error log; Exists() and HasValue() never log.
class CRegistryKey
{
public:
    explicit CRegistryKey(const wxString& fullPath);
    ~CRegistryKey();

    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    bool Exists() const;
    bool HasValue(const wxString& name) const;
    // Expands REG_EXPAND_SZ values with the process environment.
    bool QueryValue(const wxString& name, wxString& text) const;
    // Writes a REG_SZ value, creating it if needed.
    bool SetValue(const wxString& name, const wxString& text);
    // Creates every missing level of the key; an existing key is no error.
    bool Create();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};
