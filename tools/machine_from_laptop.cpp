#include "machine_from_laptop.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/machine_registry.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/value_data.h"

namespace ze::tools {
namespace {

namespace fs = std::filesystem;
using sim::KeyId;
using sim::RegistryStore;

constexpr DWORD kConfigFlagRemoved = 0x2;  // CONFIGFLAG_REMOVED

LaptopResult Say(LaptopResult result, const std::string& message) {
    std::fprintf(stderr, "zemachine: %s\n", message.c_str());
    return result;
}

bool HasFileLike(const fs::path& folder, std::string_view extension) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && name.size() > extension.size() &&
            EqualsIgnoreCase(Utf8ToUtf16(name.substr(name.size() - extension.size())),
                             Utf8ToUtf16(extension))) {
            return true;
        }
    }
    return false;
}

// The pieces the machine cannot do without, each named with how to bring it.
std::string MissingPieces(const fs::path& from) {
    std::string missing;
    auto need = [&](bool there, const std::string& what) {
        if (!there)
            missing += "\n  " + what;
    };
    std::error_code ec;
    need(fs::is_regular_file(from / "system.reg", ec),
         "system.reg: the export of HKLM\\SYSTEM (reg export HKLM\\SYSTEM system.reg)");
    need(fs::is_regular_file(from / "program" / "ZeCoInst.dat", ec),
         "program\\ZeCoInst.dat: the program's folder, with its data and settings files");
    need(HasFileLike(from / "program", ".ini"), "program\\*.ini: the program's settings file");
    need(HasFileLike(from / "inf", ".inf"),
         "inf\\oemNN.inf: the adapter's OEM INF (its driver key's InfPath names it)");
    return missing;
}

// The control set CurrentControlSet stands for is there (the export's own
// CurrentControlSet, or the one Select names).
std::optional<std::string> ControlSetProblem(RegistryStore& registry) {
    if (registry.Find(u"SYSTEM\\CurrentControlSet"))
        return std::nullopt;
    std::optional<KeyId> select = registry.Find(u"SYSTEM\\Select");
    if (!select) {
        return std::string(
            "the export holds neither SYSTEM\\CurrentControlSet nor "
            "SYSTEM\\Select: is it an export of HKLM\\SYSTEM?");
    }
    std::optional<DWORD> current = sim::DwordOf(registry, *select, u"Current");
    if (!current)
        return std::string("the export's SYSTEM\\Select has no REG_DWORD Current");
    char name[24];
    std::snprintf(name, sizeof name, "ControlSet%03u", *current);
    return "the export's SYSTEM\\Select Current names " + std::string(name) +
           ", which the export does not hold";
}

// The system locale the export was made on: Control\Nls\Language Default ("0409").
std::optional<LCID> ExportedLocale(RegistryStore& registry) {
    std::optional<KeyId> key = registry.Find(u"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language");
    std::string text = key ? Utf16ToUtf8(sim::TextOf(registry, *key, u"Default")) : "";
    char* end = nullptr;
    unsigned long locale = std::strtoul(text.c_str(), &end, 16);
    if (text.empty() || *end != '\0' || locale == 0 || locale > 0xFFFF)
        return std::nullopt;
    return static_cast<LCID>(locale);
}

// Device instances under Enum (enumerator\device\instance) that have a driver and are
// not marked removed.
std::set<std::u16string> InstalledDevices(RegistryStore& registry) {
    std::set<std::u16string> devices;
    std::optional<KeyId> root = registry.Find(u"SYSTEM\\CurrentControlSet\\Enum");
    std::vector<sim::Subkey> enumerators;
    if (root)
        registry.Subkeys(*root, &enumerators);
    for (const sim::Subkey& enumerator : enumerators) {
        std::vector<sim::Subkey> models;
        registry.Subkeys(enumerator.id, &models);
        for (const sim::Subkey& model : models) {
            std::vector<sim::Subkey> instances;
            registry.Subkeys(model.id, &instances);
            for (const sim::Subkey& instance : instances) {
                if (!sim::TextOf(registry, instance.id, u"Driver").empty() &&
                    (sim::DwordOf(registry, instance.id, u"ConfigFlags").value_or(0) &
                     kConfigFlagRemoved) == 0) {
                    devices.insert(enumerator.name + u"\\" + model.name + u"\\" + instance.name);
                }
            }
        }
    }
    return devices;
}

bool CopyFolder(const fs::path& from, const fs::path& to, std::string* error) {
    std::error_code ec;
    if (!fs::is_directory(from, ec))
        return true;
    fs::create_directories(to, ec);
    if (!ec)
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec)
        *error = "cannot copy " + from.string() + " to " + to.string() + ": " + ec.message();
    return !ec;
}

// Settles the locales and present devices from the imported export.
LaptopResult Settle(RegistryStore& registry, LaptopOptions* options) {
    if (std::optional<std::string> problem = ControlSetProblem(registry))
        return Say(LaptopResult::BadExport, *problem);
    sim::MachineSettings& settings = options->settings;
    if (!options->systemLocaleGiven) {
        std::optional<LCID> locale = ExportedLocale(registry);
        if (!locale) {
            return Say(LaptopResult::MissingPiece,
                       "the export holds no system language (Control\\Nls\\Language Default): "
                       "give it with --system-locale LCID");
        }
        settings.systemLocale = *locale;
    }
    if (!options->userLocaleGiven)
        settings.userLocale = settings.systemLocale;
    settings.presentDevices =
        options->present.empty()
            ? InstalledDevices(registry)
            : std::set<std::u16string>(options->present.begin(), options->present.end());
    if (settings.presentDevices.empty()) {
        return Say(LaptopResult::BadExport,
                   "the export holds no device with a driver under Enum: name the adapter with "
                   "--present INSTANCE");
    }
    return LaptopResult::Made;
}

LaptopResult Build(const fs::path& dir, const fs::path& from, LaptopOptions* options) {
    std::string error;
    if (!sim::SimPlatform::CreateMachine(dir, options->settings, &error))
        return Say(LaptopResult::Failed, error);
    std::error_code ec;
    fs::copy_file(from / "system.reg", dir / sim::kRegistryReg, ec);
    if (ec)
        return Say(LaptopResult::Failed, "cannot copy system.reg: " + ec.message());
    {
        std::unique_ptr<RegistryStore> registry =
            sim::OpenMachineRegistry(dir, false, stderr, &error);
        if (!registry)
            return Say(LaptopResult::BadExport, error);
        if (LaptopResult settled = Settle(*registry, options); settled != LaptopResult::Made)
            return settled;
    }
    const sim::MachineSettings& settings = options->settings;
    if (!sim::WriteMachineSettings(dir / "machine.ini", settings))
        return Say(LaptopResult::Failed, "cannot write " + (dir / "machine.ini").string());
    sim::SimPlatform machine(dir);
    std::u16string module = settings.modulePath.substr(0, settings.modulePath.rfind(u'\\'));
    for (auto [piece, target] :
         {std::pair{"program", module}, std::pair{"inf", settings.windowsDirectory + u"\\inf"},
          std::pair{"system32", settings.windowsDirectory + u"\\system32"}}) {
        if (!CopyFolder(from / piece, machine.HostPath(target), &error))
            return Say(LaptopResult::Failed, error);
    }
    std::printf(
        "created the machine %s from %s: system locale %04X, %zu present devices%s\n",
        dir.string().c_str(), from.string().c_str(), settings.systemLocale,
        settings.presentDevices.size(),
        fs::is_directory(from / "system32") ? "" : " (no system32 folder: no platform file)");
    return LaptopResult::Made;
}

}  // namespace

LaptopResult CreateFromLaptop(const fs::path& dir, const fs::path& from, LaptopOptions options) {
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_empty(dir, ec))
        return Say(LaptopResult::Failed, dir.string() + " is not empty: name a new folder");
    if (std::string missing = MissingPieces(from); !missing.empty())
        return Say(LaptopResult::MissingPiece, from.string() + " lacks:" + missing);
    bool existed = fs::exists(dir, ec);
    LaptopResult result = Build(dir, from, &options);
    if (result != LaptopResult::Made) {
        std::vector<fs::path> made;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec))
            made.push_back(entry.path());
        for (const fs::path& path : made)
            fs::remove_all(path, ec);
        if (!existed)
            fs::remove(dir, ec);
    }
    return result;
}

}  // namespace ze::tools
