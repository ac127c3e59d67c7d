#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "testdir.h"

// Lines joined, each followed by CR LF.
std::string CrLf(std::initializer_list<std::string> lines);

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

    void RegisterOnce(bool dsWin);
    // The same as a user without special rights: root may write anything.
    void RegisterOnceUnprivileged(bool dsWin);
    // Writes `before` as the registration file, runs a first registration
    // and returns the file's bytes afterwards.
    std::string RegisterInto(const std::string& before, bool dsWin);

    TestDir m_dir;

private:
    std::string FlagPath() const;
};
