// Entry of a probe in the Linux build: the probe runs on a simulated machine kept in
// a folder.
//
//   PROBE [--machine DIR] [--create-machine LCID] [probe arguments...]
//
// DIR defaults to the environment variable ZEREGION_MACHINE. With --create-machine a
// new machine whose system and user locale are LCID (hexadecimal, e.g. 0411) is
// written to DIR and the probe exits without running; the caller may then fill its
// registry.reg and C folder before running the probe on it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "probe.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "probe: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* machineEnv = std::getenv("ZEREGION_MACHINE");
    std::string machineDir = machineEnv != nullptr ? machineEnv : "";
    std::string createLocale;
    int next = 1;
    for (; next + 1 < argc; next += 2) {
        std::string_view option = argv[next];
        if (option == "--machine") {
            machineDir = argv[next + 1];
        } else if (option == "--create-machine") {
            createLocale = argv[next + 1];
        } else {
            break;
        }
    }
    if (machineDir.empty()) {
        return Fail("no machine: pass --machine DIR or set ZEREGION_MACHINE");
    }
    std::string error;
    if (!createLocale.empty()) {
        ze::sim::MachineSettings settings;
        settings.systemLocale =
            static_cast<ze::LCID>(std::strtoul(createLocale.c_str(), nullptr, 16));
        settings.userLocale = settings.systemLocale;
        return ze::sim::SimPlatform::CreateMachine(machineDir, settings, &error) ? 0 : Fail(error);
    }
    std::unique_ptr<ze::sim::SimPlatform> machine =
        ze::sim::SimPlatform::OpenMachine(machineDir, &error);
    if (!machine) {
        return Fail(error);
    }
    ze::ScopedPlatform platform(*machine);

    std::vector<std::u16string> arguments{ze::Utf8ToUtf16(argv[0])};
    for (int i = next; i < argc; ++i) {
        arguments.push_back(ze::Utf8ToUtf16(argv[i]));
    }
    std::vector<char16_t*> pointers;
    for (std::u16string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    int result = ze::RunProbe(static_cast<int>(arguments.size()), pointers.data());
    std::fflush(stdout);
    return result;
}
