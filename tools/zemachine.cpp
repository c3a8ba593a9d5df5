// zemachine: makes and feeds the simulated machines the Linux build runs on.
//
//   zemachine create DIR [--from FOLDER] [--present INSTANCE]...
//                        [--system-locale LCID] [--user-locale LCID]
//                        [--windows-dir PATH] [--module PATH] [--no-admin]
//   zemachine [--machine DIR] import FILE [--merge]
//   zemachine [--machine DIR] export [KEY] [--output FILE]
//
// create writes a new machine folder: machine.ini, and the C: folders of the Windows
// directory (system32, inf) and of the program's module path. Its registry is made on
// first use, from a registry.reg put in the folder or empty. With --from, the machine
// is made from what was brought back from a laptop (machine_from_laptop.h); each
// --present names a device instance that is plugged in.
// import reads a .reg file into the machine's registry as one change, replacing the
// whole registry or, with --merge, over it (as regedit merges). Importing the
// machine's own registry.reg makes it the registry's source again.
// export writes HKEY_LOCAL_MACHINE, or one key below it with its subkeys, as regedit
// 5.00 does (UTF-16LE with BOM) to standard output or FILE.
// The machine is DIR (--machine may stand anywhere), or the folder named by
// ZEREGION_MACHINE. Exit codes: 0 done, 1 failed, 2 usage, 3 a piece of the laptop
// folder missing, 4 an export that is not one of HKLM\SYSTEM.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/text.h"
#include "machine_from_laptop.h"
#include "platform/names.h"
#include "platform/sim/machine_registry.h"
#include "platform/sim/sim_platform.h"

namespace {

namespace fs = std::filesystem;
using ze::sim::KeyId;
using ze::sim::RegistryStore;

constexpr char kUsage[] =
    "usage: zemachine create DIR [--from FOLDER] [--present INSTANCE]...\n"
    "                            [--system-locale LCID] [--user-locale LCID]\n"
    "                            [--windows-dir PATH] [--module PATH] [--no-admin]\n"
    "       zemachine [--machine DIR] import FILE [--merge]\n"
    "       zemachine [--machine DIR] export [KEY] [--output FILE]\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "zemachine: %s\n", message.c_str());
    return 1;
}

// The arguments after the command: positional ones, and options with their value.
struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> flags;

    std::optional<std::string> Option(const std::string& name) const {
        for (const auto& [key, value] : options) {
            if (key == name)
                return value;
        }
        return std::nullopt;
    }
    bool Flag(const std::string& name) const {
        return std::find(flags.begin(), flags.end(), name) != flags.end();
    }
};

bool Parse(int argc, char** argv, int first, const std::vector<std::string>& withValue,
           const std::vector<std::string>& flags, Arguments* out) {
    for (int i = first; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--", 0) != 0) {
            out->positional.push_back(argument);
        } else if (std::find(withValue.begin(), withValue.end(), argument) != withValue.end() &&
                   i + 1 < argc) {
            out->options.emplace_back(argument, argv[++i]);
        } else if (std::find(flags.begin(), flags.end(), argument) != flags.end()) {
            out->flags.push_back(argument);
        } else {
            return false;
        }
    }
    return true;
}

int Create(const Arguments& arguments) {
    if (arguments.positional.size() != 1)
        return Usage();
    fs::path dir = arguments.positional[0];
    ze::tools::LaptopOptions options;
    ze::sim::MachineSettings& settings = options.settings;
    for (auto [option, locale, given] :
         {std::tuple{"--system-locale", &settings.systemLocale, &options.systemLocaleGiven},
          std::tuple{"--user-locale", &settings.userLocale, &options.userLocaleGiven}}) {
        if (auto value = arguments.Option(option)) {
            *locale = static_cast<ze::LCID>(std::strtoul(value->c_str(), nullptr, 16));
            *given = true;
        }
    }
    if (auto value = arguments.Option("--windows-dir"))
        settings.windowsDirectory = ze::Utf8ToUtf16(*value);
    if (auto value = arguments.Option("--module"))
        settings.modulePath = ze::Utf8ToUtf16(*value);
    settings.administrator = !arguments.Flag("--no-admin");
    for (const auto& [option, value] : arguments.options) {
        if (option == "--present")
            options.present.push_back(ze::Utf8ToUtf16(value));
    }
    if (auto from = arguments.Option("--from"))
        return static_cast<int>(ze::tools::CreateFromLaptop(dir, *from, std::move(options)));
    settings.presentDevices.insert(options.present.begin(), options.present.end());
    if (fs::exists(dir / "machine.ini"))
        return Fail(dir.string() + " already holds a machine");
    std::string error;
    if (!ze::sim::SimPlatform::CreateMachine(dir, settings, &error))
        return Fail(error);
    ze::sim::SimPlatform machine(dir);
    std::u16string module = settings.modulePath;
    std::error_code ec;
    for (const std::u16string& folder :
         {settings.windowsDirectory + u"\\system32", settings.windowsDirectory + u"\\inf",
          module.substr(0, module.rfind(u'\\'))}) {
        fs::create_directories(machine.HostPath(folder), ec);
        if (ec)
            return Fail("cannot create " + machine.HostPath(folder).string() + ": " + ec.message());
    }
    std::printf("created the machine %s\n", dir.string().c_str());
    return 0;
}

std::unique_ptr<RegistryStore> OpenRegistry(const fs::path& dir) {
    std::string error;
    auto registry = ze::sim::OpenMachineRegistry(dir, false, stderr, &error);
    if (!registry)
        Fail(error);
    return registry;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

int Import(const fs::path& dir, const Arguments& arguments) {
    if (arguments.positional.size() != 1)
        return Usage();
    fs::path file = arguments.positional[0];
    auto registry = OpenRegistry(dir);
    if (!registry)
        return 1;
    bool merge = arguments.Flag("--merge");
    std::string error;
    if (!ze::sim::ImportRegFile(*registry, file, !merge,
                                SameFile(file, dir / ze::sim::kRegistryReg), stderr, &error)) {
        return Fail(error);
    }
    std::printf("%s %s into the registry of %s\n", merge ? "merged" : "imported",
                file.string().c_str(), dir.string().c_str());
    return 0;
}

// The key named by a path below HKEY_LOCAL_MACHINE, which may be spelt out in front.
std::optional<KeyId> KeyNamed(RegistryStore& registry, std::u16string path) {
    for (std::u16string_view root : {u"HKEY_LOCAL_MACHINE", u"HKLM"}) {
        if (path.size() >= root.size() &&
            ze::EqualsIgnoreCase(std::u16string_view(path).substr(0, root.size()), root) &&
            (path.size() == root.size() || path[root.size()] == u'\\')) {
            path.erase(0, root.size());
        }
    }
    return registry.Find(path);
}

// The machine's registry.reg, when `file` is it, now says what the registry holds.
void RecordIfSource(const fs::path& dir, RegistryStore& registry, KeyId key, const fs::path& file) {
    fs::path reg = dir / ze::sim::kRegistryReg;
    if (key == ze::sim::kRootKey && SameFile(file, reg))
        ze::sim::RecordSource(registry, reg);
}

int ExportFailed(ze::LONG error) {
    return Fail("the export failed (error " + std::to_string(error) + ")");
}

// Written beside FILE under a name of its own and renamed over it when whole, so that
// an export cut short leaves FILE as it was.
int ExportToFile(const fs::path& dir, RegistryStore& registry, KeyId key, const fs::path& file) {
    fs::path temporary = file;
    temporary += ".new-" + std::to_string(::getpid());
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr)
        return Fail("cannot write " + temporary.string() + ": " + std::strerror(errno));
    ze::LONG error = ze::sim::WriteReg(registry, key, [&](std::string_view bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    });
    bool closed = std::fclose(out) == 0;
    std::string why;
    if (error != ze::ERROR_SUCCESS || !closed || !ze::sim::PublishFile(temporary, file, &why)) {
        std::error_code ec;
        fs::remove(temporary, ec);
        if (error != ze::ERROR_SUCCESS)
            return ExportFailed(error);
        return Fail(closed ? why : "cannot write " + temporary.string());
    }
    RecordIfSource(dir, registry, key, file);
    return 0;
}

int ExportToStdout(const fs::path& dir, RegistryStore& registry, KeyId key) {
    ze::LONG error = ze::sim::WriteReg(registry, key, [&](std::string_view bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    });
    if (std::fflush(stdout) != 0 || error != ze::ERROR_SUCCESS)
        return ExportFailed(error);
    // Redirected over the machine's registry.reg, the file says what the registry holds.
    struct stat written {};
    struct stat source {};
    fs::path reg = dir / ze::sim::kRegistryReg;
    if (::fstat(::fileno(stdout), &written) == 0 && ::stat(reg.c_str(), &source) == 0 &&
        written.st_dev == source.st_dev && written.st_ino == source.st_ino) {
        RecordIfSource(dir, registry, key, reg);
    }
    return 0;
}

int Export(const fs::path& dir, const Arguments& arguments) {
    if (arguments.positional.size() > 1)
        return Usage();
    auto registry = OpenRegistry(dir);
    if (!registry)
        return 1;
    std::u16string keyPath =
        arguments.positional.empty() ? u"" : ze::Utf8ToUtf16(arguments.positional[0]);
    std::optional<KeyId> key = KeyNamed(*registry, keyPath);
    if (!key)
        return Fail("no key " + ze::Utf16ToUtf8(keyPath) + " in the registry of " + dir.string());
    std::optional<std::string> output = arguments.Option("--output");
    return output ? ExportToFile(dir, *registry, *key, *output)
                  : ExportToStdout(dir, *registry, *key);
}
}  // namespace

int main(int argc, char** argv) {
    const char* env = std::getenv("ZEREGION_MACHINE");
    std::string machine = env != nullptr ? env : "";
    // --machine DIR may stand anywhere on the line.
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--machine") {
            if (i + 1 >= argc)
                return Usage();
            machine = argv[++i];
        } else {
            rest.push_back(argv[i]);
        }
    }
    argc = static_cast<int>(rest.size());
    argv = rest.data();
    if (argc < 2)
        return Usage();
    std::string command = argv[1];
    Arguments arguments;
    if (command == "create") {
        if (!Parse(argc, argv, 2,
                   {"--system-locale", "--user-locale", "--windows-dir", "--module", "--from",
                    "--present"},
                   {"--no-admin"}, &arguments)) {
            return Usage();
        }
        return Create(arguments);
    }
    if (command != "import" && command != "export")
        return Usage();
    if (!Parse(argc, argv, 2, {"--output"}, {"--merge"}, &arguments))
        return Usage();
    if (machine.empty())
        return Fail("no machine: pass --machine DIR or set ZEREGION_MACHINE");
    if (!fs::is_directory(machine))
        return Fail("machine folder " + machine + " does not exist");
    return command == "import" ? Import(machine, arguments) : Export(machine, arguments);
}
