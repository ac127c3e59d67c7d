// Times one whole registration pass (backup, edit, atomic replace, access
// rights) of the native build on a large vdds_mmi.ini against the least any
// pass must do with the same file, in one run: read it, decode it in the local
// encoding, encode it again, write it to a temporary file and rename that over
// it.
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

#include "largeini.h"
#include "registration/filereplace.h"
#include "registration/iniedit.h"
#include "common/platform.h"
#include "registration/registrationpass.h"

namespace fs = std::filesystem;

namespace
{

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

    const wxString iniPath = wxString::FromUTF8(ini.string());
    const double baseline = Seconds(
        [&]
        {
            std::string bytes, again;
            wxString text;
            if (!ReadWholeFile(iniPath, bytes).Is(PassResult::Outcome::Done) ||
                !DecodeText(bytes, LocalEncoding(), text) ||
                !EncodeText(text, LocalEncoding(), again) ||
                !ReplaceFileIfUnchanged(iniPath, bytes, again).Is(PassResult::Outcome::Done))
                std::abort();
        });
    CVddsRegistration registration((root / "app").string(), (root / "data/conf").string(), false);
    const double pass = Seconds([&] { registration.WriteRegistration(); });

    std::printf("registration file: %zu bytes\n", content.size());
    std::printf("read, decode, encode, replace: %.4f s, registration pass: %.4f s, ratio %.1f\n",
                baseline, pass, pass / baseline);
    fs::remove_all(root);
    return 0;
}
