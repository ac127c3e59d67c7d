// Times each Windows build this machine can run under Wine against what
// Windows itself needs for the same job, from inside Windows:
//   - launch: tvdds.exe with a patient file on a registered machine, against
//     a bare launcher starting the client;
//   - registration: "tvdds.exe initsetup" on a 1 MB vdds_mmi.ini, against
//     copying the file to a backup and replacing it through a temporary copy.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "../bench/largeini.h"
#include "wineprefix.h"

namespace fs = std::filesystem;

namespace
{

const int kRuns = 11;
const std::string kApp = "C:\\Program Files\\Tivora";
const std::string kKey = "HKLM\\SOFTWARE\\Halvorin\\TivoraClient";

// Runs benchrun with `args` after its result file and number of runs; false
// when it failed.
bool Time(const WinePrefix& prefix, std::vector<std::string> args, double& baseline, double& tvdds)
{
    const std::string result = prefix.Root() + "/bench.txt";
    fs::remove(result);
    args.insert(args.begin(), {"C:\\harness\\benchrun.exe", WinePrefix::WindowsPath(result),
                               std::to_string(kRuns)});
    if (prefix.Wine(args) != 0)
        return false;
    std::ifstream(result) >> baseline >> tvdds;
    return baseline > 0 && tvdds > 0;
}

void Report(const std::string& what, bool ok, double baseline, double tvdds)
{
    if (ok)
        std::printf("%-34s baseline %7.1f ms, tvdds.exe %7.1f ms, ratio %5.2f\n", what.c_str(),
                    baseline, tvdds, tvdds / baseline);
    else
        std::printf("%-34s failed\n", what.c_str());
}

bool Bench(const WindowsBuild& build)
{
    char pattern[] = "/tmp/tvdds-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    bool ok = true;
    {
        const WinePrefix prefix(root, build);
        fs::copy_file(build.dir + "/tests/bench/windows/baseline.exe",
                      prefix.UnixPath(kApp + "\\baseline.exe"));
        fs::copy_file(TVDDS_WIN64_DIR "/tests/bench/windows/benchrun.exe",
                      prefix.UnixPath("C:\\harness\\benchrun.exe"));
        prefix.Reg({"add", kKey, "/v", "BaseAppPath", "/d", kApp, "/f"});
        prefix.Reg({"add", kKey, "/v", "BaseDataPath", "/d", "C:\\ProgramData\\Tivora", "/f"});
        prefix.Reg({"add", kKey, "/v", "VddsIniWritten", "/d", "1", "/f"});
        fs::create_directories(prefix.UnixPath("C:\\ProgramData\\Tivora\\conf"));

        double baseline = 0, tvdds = 0;
        const std::string program = "\"" + kApp + "\\tvdds.exe\"";
        ok &= Time(prefix,
                   {"\"" + kApp + "\\baseline.exe\" launch C:\\p.ini", program + " C:\\p.ini"},
                   baseline, tvdds);
        Report(build.name + " launch", ok, baseline, tvdds);

        std::ofstream(prefix.UnixPath("C:\\pristine.ini"), std::ios::binary)
            << LargeRegistrationFile();
        const std::string ini = "C:\\windows\\vdds_mmi.ini";
        const bool registered =
            Time(prefix,
                 {"\"" + kApp + "\\baseline.exe\" copy " + ini + " \"" + kApp + "\"",
                  program + " initsetup", build.regView == "/reg:32" ? "32" : "64",
                  "C:\\pristine.ini", ini, kApp},
                 baseline, tvdds);
        Report(build.name + " registration pass (1 MB)", registered, baseline, tvdds);
        ok &= registered;
    }
    fs::remove_all(root);
    return ok;
}

} // namespace

int main()
{
    std::printf("Medians of %d alternating runs, timed inside Windows:\n", kRuns);
    bool ok = true;
    for (const WindowsBuild& build : WindowsBuilds())
    {
        if (CanRun(build))
            ok &= Bench(build);
        else
            std::printf("%s: skipped, this machine cannot execute 32-bit code\n",
                        build.name.c_str());
    }
    return ok ? 0 : 1;
}
