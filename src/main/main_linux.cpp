// Process entry of the Linux build: the program runs on a simulated Windows machine
// kept in a folder, found through ZEREGION_MACHINE or as the machine whose C: folder
// holds this executable.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "common/text.h"
#include "main/program.h"
#include "platform/sim/sim_platform.h"

namespace {

// The machine folder that holds `exe` inside its C folder, if any.
std::optional<std::filesystem::path> MachineAround(const std::filesystem::path& exe) {
    for (auto dir = exe.parent_path(); dir.has_relative_path(); dir = dir.parent_path()) {
        if (dir.filename() == "C" && std::filesystem::exists(dir.parent_path() / "machine.ini")) {
            return dir.parent_path();
        }
    }
    return std::nullopt;
}

// The executable's Windows path when it lies in the machine's C: folder.
std::optional<std::u16string> WindowsPathInside(const std::filesystem::path& machine,
                                                const std::filesystem::path& exe) {
    auto relative = exe.lexically_relative(machine / "C");
    if (relative.empty() || *relative.begin() == "..")
        return std::nullopt;
    std::u16string path = u"C:";
    for (const auto& part : relative)
        path += u"\\" + ze::Utf8ToUtf16(part.string());
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    std::error_code ec;
    auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    std::optional<std::filesystem::path> machineDir;
    if (const char* env = std::getenv("ZEREGION_MACHINE"); env != nullptr && *env != '\0') {
        machineDir = std::filesystem::absolute(env);
    } else if (!ec) {
        machineDir = MachineAround(exe);
    }
    if (!machineDir) {
        std::fputs(
            "ZeRegionSvc: no simulated machine: set ZEREGION_MACHINE to a machine folder or "
            "run the executable from inside a machine's C folder\n",
            stderr);
        return 2;
    }
    std::string error;
    auto machine = ze::sim::SimPlatform::OpenMachine(*machineDir, &error);
    if (!machine) {
        std::fprintf(stderr, "ZeRegionSvc: cannot open the machine: %s\n", error.c_str());
        return 2;
    }
    if (auto windowsPath = WindowsPathInside(*machineDir, exe)) {
        machine->Settings().modulePath = *windowsPath;
    }
    machine->EchoStandardStreams(true);
    ze::InstallPlatform(machine.get());

    std::vector<std::u16string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(ze::Utf8ToUtf16(argv[i]));
    std::vector<char16_t*> pointers;
    for (auto& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    int result = 0;
    try {
        result = ze::_tmain(argc, pointers.data());
    } catch (const ze::sim::ProcessExit& exit) {
        result = static_cast<int>(exit.code);
    }
    ze::InstallPlatform(nullptr);
    return result;
}
