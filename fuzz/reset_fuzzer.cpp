// One reset ("/debug") of the demo machine's adapter with a fuzzed country data file,
// platform settings file and OEM INF. The input holds the three files in that order,
// separated by lines "--8<--". The machine lives in memory, built afresh from the
// demo machine for every input; its C: drive is one folder reused by every input.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "main/program.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/machine_registry.h"
#include "platform/sim/sim_platform.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDemoMachine = fs::path(ZE_SOURCE_DIR) / "examples" / "demo-machine";
constexpr std::string_view kSeparator = "\n--8<--\n";
const char* const kFuzzedFiles[] = {"Program Files/Zelvaro/ZeCoInst.dat",
                                    "windows/system32/ZC00121D6A.ini", "windows/inf/oem3.inf"};

struct Demo {
    fs::path root;
    ze::sim::MachineSettings settings;
};

const Demo& DemoMachine() {
    static const Demo demo = [] {
        Demo made;
        made.root =
            fs::temp_directory_path() / ("zeregion-reset-fuzzer-" + std::to_string(::getpid()));
        fs::remove_all(made.root);
        fs::create_directories(made.root);
        fs::copy(kDemoMachine / "C", made.root / "C", fs::copy_options::recursive);
        std::string error;
        if (!ze::sim::ReadMachineSettings(kDemoMachine / "machine.ini", &made.settings, &error))
            std::abort();
        return made;
    }();
    return demo;
}

void WriteFile(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Demo& demo = DemoMachine();
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (const char* file : kFuzzedFiles) {
        std::size_t end = std::min(input.find(kSeparator), input.size());
        WriteFile(demo.root / "C" / file, input.substr(0, end));
        input.remove_prefix(std::min(input.size(), end + kSeparator.size()));
    }
    fs::remove(demo.root / "C" / "Program Files" / "Zelvaro" / "ZeRegionSvc.log");

    ze::sim::SimPlatform machine(demo.root);
    machine.Settings() = demo.settings;
    std::string error;
    if (!ze::sim::ImportRegFile(machine.Registry(), kDemoMachine / ze::sim::kRegistryReg, true,
                                false, nullptr, &error)) {
        std::abort();
    }
    ze::ScopedPlatform scope(machine);
    std::u16string exe = demo.settings.modulePath;
    std::u16string command = u"/debug";
    char16_t* argv[] = {exe.data(), command.data(), nullptr};
    ze::_tmain(2, argv);
    return 0;
}
