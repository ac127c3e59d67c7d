#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "wineprefix.h"

// What every end-to-end suite shares: the product's installation in each
// build's Wine prefix, the runs of the program under the box watcher and the
// reads of what it left behind.

const std::string kAppDir = "C:\\Program Files\\Tivora";
const std::string kTvdds = "\"C:\\Program Files\\Tivora\\tvdds.exe\"";
const std::string kKey = "HKLM\\SOFTWARE\\Halvorin\\TivoraClient";
const std::string kIni = "C:\\windows\\vdds_mmi.ini";
const std::string kOtherVendors =
    "; practice machine\r\n[BVS]\r\nNAME1=XRAY\r\n\r\n[XRAY]\r\nNAME=X-Ray\r\n";
const std::string kProduct =
    "[TIVORA]\r\nNAME=Tivora\r\n"
    "PATDATIMPORT=C:\\Program Files\\Tivora\\tvdds.exe\r\nPATDATIMPORT_OS=1\r\n";

std::string ReadAll(const std::string& path);

// Whether `holds` came true within `waitMs`, asked every `stepMs`.
bool Eventually(const std::function<bool()>& holds, int waitMs, int stepMs = 50);

// One prefix per build for the whole run: Wine's first start takes many
// seconds.
class WineEnvironment : public ::testing::Environment
{
public:
    void TearDown() override;
    static const WinePrefix& For(const WindowsBuild& build);
};

// A test on one Windows build, in that build's prefix.
class EndToEnd : public ::testing::Test
{
public:
    void SetValue(const std::string& name, const std::string& value);

protected:
    virtual const WindowsBuild& CurrentBuild() const = 0;

    void SetUp() override;
    void TearDown() override;

    // Lets a client that is still waiting finish, and forgets its record.
    void ReleaseClient();

    const WinePrefix& Prefix() const { return *m_prefix; }

    // A complete installation that has registered already.
    void Install();

    BoxRun Run(const std::string& arguments, std::map<std::string, std::string> env = {});

    // The client's record once it is written, or an empty text when no
    // client started within `waitMs` (a client under Wine on a loaded
    // machine took more than 5 seconds; a test that expects none passes a
    // short wait).
    std::string ClientRecord(int waitMs = 20000);

    std::string Probe(const std::string& what, const std::string& argument);
    // Starts probe.exe WHAT ARGUMENT in the background, writing to `record`,
    // and waits (at most 5 seconds) until it has written something there.
    pid_t StartProbe(const std::string& what, const std::string& argument,
                     const std::string& record);

    // A value of the product's key in the registry view the program reads.
    std::string RegValue(const std::string& name);

    std::string m_record;

private:
    const WinePrefix* m_prefix = nullptr;
};

// A suite that runs each of its tests once on every Windows build.
class OnEachBuild : public EndToEnd, public ::testing::WithParamInterface<WindowsBuild>
{
protected:
    const WindowsBuild& CurrentBuild() const override { return GetParam(); }
};

inline const auto kBuilds = ::testing::ValuesIn(WindowsBuilds());

std::string BuildName(const ::testing::TestParamInfo<WindowsBuild>& info);

// An installation whose registration has not run yet, with the registration
// file and the data directory at hand.
class RegistrationFixture : public OnEachBuild
{
protected:
    void SetUp() override;

    std::string Ini();
    void WriteIni(const std::string& text);
    // The next start runs the registration pass again.
    void ForgetRegistration();

    bool EveryoneMayReadAndWrite(const std::string& path);

    // The run showed one box only, the report of a pass that did not
    // register the product for `reason`, and ended with `exitCode`: 1 for a
    // set-up run, 0 for a run that starts the client.
    void ExpectOnlyRefusal(const BoxRun& run, int exitCode, const std::string& reason);

    std::vector<std::filesystem::path> Backups();
};

// Where the installer puts the product in the tests.
const std::string kSetupDir = "C:\\Program Files\\Tivora Setup Test";

// Installs by the build's installer, silently, into kSetupDir.
class InstallerFixture : public RegistrationFixture
{
protected:
    // With `log`, the installer's log goes there (/LOG=).
    BoxRun InstallSilently(Station station = Station::Visible, const std::string& log = "");
    // Installs silently into `dir` over a registration file that lists other
    // vendors only, expecting success without a box, and returns the file as
    // the installation left it.
    std::string InstallOverOtherVendors(const std::string& dir = kSetupDir,
                                        const std::map<std::string, std::string>& environment = {});
    std::filesystem::path Installed(const std::string& relative) const;
    // Runs the uninstall entry's QuietUninstallString as deployment tools do
    // and waits for it: true when it ended with 0, showed nothing, left
    // nothing of the installation in `dir` behind but the backups of
    // vdds_mmi.ini, and nothing for a restart to do.
    bool UninstallQuietly(const std::string& dir = kSetupDir,
                          const std::map<std::string, std::string>& environment = {});
    // A value of the product's uninstall entry, in the view the build writes.
    std::string UninstallValue(const std::string& name);
    // The imaging systems as practice software reads them through the
    // profile API (see probe.exe list).
    std::string ListAsReadersSeeIt();
};
