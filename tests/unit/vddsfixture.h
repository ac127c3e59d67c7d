#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include <wx/log.h>

#include "registration/systemreader.h"
#include "testdir.h"

// Lines joined, each followed by CR LF.
std::string CrLf(std::initializer_list<std::string> lines);

// `latin1` in UTF-16LE: each byte becomes the code unit of its value.
std::string Utf16Le(const std::string& latin1);

// Collects the errors and warnings logged while it exists.
class LogCapture : public wxLog
{
public:
    LogCapture();
    ~LogCapture() override;

    std::vector<std::string> entries;

protected:
    void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo& info) override;

private:
    wxLog* m_previous;
    bool m_wasEnabled;
};

// A machine of its own for each test: registry store, Windows directory,
// installation and data directories below one throwaway directory.
class VddsFixture : public ::testing::Test
{
protected:
    VddsFixture();
    ~VddsFixture() override;

    std::string IniPath() const;
    std::string AppPath() const;
    std::string ProductSection(bool dsWin) const;
    std::string Flag() const;

    // Runs the pass; what it logged lands in m_logged.
    void RegisterOnce(bool dsWin);
    // The same as a user without special rights: root may write anything.
    void RegisterOnceUnprivileged(bool dsWin);
    // Writes `before` as the registration file, runs a first registration
    // and returns the file's bytes afterwards.
    std::string RegisterInto(const std::string& before, bool dsWin);
    // Writes `before` as the registration file, removes the registration of
    // the program in AppPath() and returns the file's bytes afterwards; what
    // the removal said lands in m_logged, its result in `removed`.
    std::string UnregisterFrom(const std::string& before, bool& removed);

    TestDir m_dir;
    std::vector<std::string> m_logged;
    // What stands for the system's own reader in the passes; none by default,
    // as on this platform.
    SystemReader m_systemReader;

private:
    std::string FlagPath() const;
};
