// Times one whole registration pass (backup, edit, atomic replace, access
// rights) on a large vdds_mmi.ini against copying the same file, in one run:
//   registration_bench [LINES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include <wx/init.h>
#include <wx/log.h>

#include "starter/registration.h"

namespace fs = std::filesystem;

namespace
{

std::string LargeRegistrationFile(int lines)
{
    std::string text = "[BVS]\r\nNAME1=XRAY\r\nNAME2=CEPH\r\n\r\n";
    for (int i = 0; text.size() < 1000000 || i < lines / 4; ++i)
    {
        text += "[VENDOR" + std::to_string(i) + "]\r\n";
        text += "NAME=Imaging system " + std::to_string(i) + "\r\n";
        text += "PATDATIMPORT=C:\\Program Files\\Vendor " + std::to_string(i) + "\\import.exe\r\n";
        text += "; installed by vendor " + std::to_string(i) + "\r\n";
    }
    return text;
}

template <typename Action> double Seconds(Action action)
{
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    wxInitializer wx;
    wxLog::EnableLogging(false);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 20000;

    char pattern[] = "/tmp/tvdds-bench-XXXXXX";
    const fs::path root = mkdtemp(pattern);
    fs::create_directories(root / "windows");
    fs::create_directories(root / "app");
    fs::create_directories(root / "data/conf");
    setenv("TVDDS_WINDOWS_DIR", (root / "windows").c_str(), 1);
    setenv("TVDDS_REGISTRY_ROOT", (root / "registry").c_str(), 1);

    const std::string content = LargeRegistrationFile(lines);
    const fs::path ini = root / "windows/vdds_mmi.ini";
    std::ofstream(ini, std::ios::binary) << content;

    const double copy = Seconds([&] { fs::copy_file(ini, root / "copy.ini"); });
    CVddsRegistration registration((root / "app").string(), (root / "data/conf").string(), false);
    const double pass = Seconds([&] { registration.WriteRegistration(); });

    std::printf("registration file: %zu bytes\n", content.size());
    std::printf("copy: %.4f s, registration pass: %.4f s, ratio %.1f\n", copy, pass, pass / copy);
    fs::remove_all(root);
    return 0;
}
