// Times each Windows build this machine can run under Wine against what
// Windows itself needs for the same job, from inside Windows:
//   - launch: tvdds.exe with a patient file on a registered machine, against
//     a bare launcher starting the client;
//   - registration: "tvdds.exe initsetup" on a 1 MB vdds_mmi.ini, against
//     copying the file to a backup and replacing it through a temporary copy.
// Each job is also timed for the least wxWidgets program that does it (for
// the registration, with the library's INI model of the file): the share of
// tvdds's time that is the library's own. The registration is timed once more
// for that program with the confirmation tvdds.exe makes, the system's own
// reader asked before and after the edit, so that both do the same job.
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
const std::string kProgram = "\"" + kApp + "\\tvdds.exe\"";
const std::string kBaseline = "\"" + kApp + "\\baseline.exe\"";
const std::string kFloor = "\"" + kApp + "\\wxfloor.exe\"";

// The medians of one job's commands: the baseline, the least wxWidgets
// program, tvdds.exe and, for the registration, the least program that
// confirms too.
struct Timing
{
    double baseline = 0, floor = 0, tvdds = 0, confirmingFloor = 0;
};

// Runs benchrun on `commands` (the baseline, the least program, tvdds.exe and
// optionally the least program that confirms too), followed by `reset`;
// false when it failed.
bool Time(const WinePrefix& prefix, const std::vector<std::string>& commands,
          const std::vector<std::string>& reset, Timing& timing)
{
    const std::string result = prefix.Root() + "/bench.txt";
    fs::remove(result);
    std::vector<std::string> args{"C:\\harness\\benchrun.exe", WinePrefix::WindowsPath(result),
                                  std::to_string(kRuns), std::to_string(commands.size())};
    args.insert(args.end(), commands.begin(), commands.end());
    args.insert(args.end(), reset.begin(), reset.end());
    if (prefix.Wine(args) != 0)
        return false;
    std::ifstream in(result);
    in >> timing.baseline >> timing.floor >> timing.tvdds;
    if (commands.size() > 3)
        in >> timing.confirmingFloor;
    return timing.baseline > 0 && timing.floor > 0 && timing.tvdds > 0 &&
           (commands.size() == 3 || timing.confirmingFloor > 0);
}

void Report(const std::string& what, bool ok, const Timing& t)
{
    if (!ok)
    {
        std::printf("%s: failed\n", what.c_str());
        return;
    }
    std::printf("%s: baseline %.1f ms, tvdds.exe %.1f ms, ratio %.2f\n", what.c_str(), t.baseline,
                t.tvdds, t.tvdds / t.baseline);
    std::printf("    least wxWidgets program %.1f ms, ratio %.2f; tvdds.exe is %.2f times it\n",
                t.floor, t.floor / t.baseline, t.tvdds / t.floor);
    if (t.confirmingFloor > 0)
        std::printf("    least wxWidgets program that confirms too %.1f ms; tvdds.exe is %.2f "
                    "times the least program that confirms too\n",
                    t.confirmingFloor, t.tvdds / t.confirmingFloor);
}

// Times "tvdds.exe initsetup" on a vdds_mmi.ini holding `file`, restored
// before each run, against copying it to a backup and replacing it.
bool TimeRegistration(const WinePrefix& prefix, const std::string& file, const std::string& what)
{
    std::ofstream(prefix.UnixPath("C:\\pristine.ini"), std::ios::binary) << file;
    const std::string ini = "C:\\windows\\vdds_mmi.ini";
    const std::string files = " " + ini + " \"" + kApp + "\"";
    Timing timing;
    const bool ok = Time(prefix,
                         {kBaseline + " copy" + files, kFloor + " copy" + files,
                          kProgram + " initsetup", kFloor + " confirm" + files},
                         {prefix.Build().regView == "/reg:32" ? "32" : "64", "C:\\pristine.ini",
                          ini, kApp},
                         timing);
    Report(what, ok, timing);
    return ok;
}

bool Bench(const WindowsBuild& build)
{
    char pattern[] = "/tmp/tvdds-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    bool ok = true;
    {
        const WinePrefix prefix(root, build);
        for (const char* helper : {"baseline.exe", "wxfloor.exe"})
            fs::copy_file(build.dir + "/tests/bench/windows/" + helper,
                          prefix.UnixPath(kApp + "\\" + helper));
        fs::copy_file(TVDDS_WIN64_DIR "/tests/bench/windows/benchrun.exe",
                      prefix.UnixPath("C:\\harness\\benchrun.exe"));
        prefix.Reg({"add", kKey, "/v", "BaseAppPath", "/d", kApp, "/f"});
        prefix.Reg({"add", kKey, "/v", "BaseDataPath", "/d", "C:\\ProgramData\\Tivora", "/f"});
        prefix.Reg({"add", kKey, "/v", "VddsIniWritten", "/d", "1", "/f"});
        fs::create_directories(prefix.UnixPath("C:\\ProgramData\\Tivora\\conf"));

        Timing timing;
        ok &= Time(prefix,
                   {kBaseline + " launch C:\\p.ini", kFloor + " launch C:\\p.ini",
                    kProgram + " C:\\p.ini"},
                   {}, timing);
        Report(build.name + " launch", ok, timing);

        ok &= TimeRegistration(prefix, LargeRegistrationFile(),
                               build.name + " registration pass (1 MB)");
        ok &= TimeRegistration(prefix, TypicalRegistrationFile(),
                               build.name + " registration pass (8 KB with umlauts)");
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
