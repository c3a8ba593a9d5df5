#include "platform/sim/machine_file.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "common/text.h"

namespace ze::sim {

bool ReadTextFile(const std::filesystem::path& file, std::u16string* text) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text->clear();
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return true;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    *text = Utf8ToUtf16(bytes);
    return true;
}

bool WriteBytesAtomically(const std::filesystem::path& file, const std::string& bytes) {
    auto temporary = file;
    temporary += ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            return false;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

bool WriteUtf16File(const std::filesystem::path& file, std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return WriteBytesAtomically(file, bytes);
}

namespace {

std::string Trim(const std::string& text) {
    auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool ParseHex(const std::string& text, LCID* out) {
    try {
        std::size_t used = 0;
        unsigned long value = std::stoul(text, &used, 16);
        if (used != text.size())
            return false;
        *out = static_cast<LCID>(value);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

bool ReadMachineSettings(const std::filesystem::path& file, MachineSettings* settings,
                         std::string* error) {
    std::ifstream in(file);
    if (!in) {
        *error = "cannot read " + file.string();
        return false;
    }
    std::string line;
    std::string section;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        auto equals = line.find('=');
        if (equals == std::string::npos) {
            *error = file.string() + ":" + std::to_string(lineNumber) + ": expected key=value";
            return false;
        }
        std::string key = Trim(line.substr(0, equals));
        std::string value = Trim(line.substr(equals + 1));
        bool ok = true;
        if (section == "PresentDevices") {
            settings->presentDevices.insert(Utf8ToUtf16(value));
        } else if (section == "RestartFlags") {
            LCID flags = 0;
            ok = ParseHex(value, &flags);
            settings->restartFlags[Utf8ToUtf16(key)] = flags;
        } else if (section == "Security") {
            settings->fileSecurity.emplace_back(Utf8ToUtf16(key), Utf8ToUtf16(value));
        } else if (key == "SystemLocale") {
            ok = ParseHex(value, &settings->systemLocale);
        } else if (key == "UserLocale") {
            ok = ParseHex(value, &settings->userLocale);
        } else if (key == "Administrator") {
            settings->administrator = value != "0";
        } else if (key == "WindowsDirectory") {
            settings->windowsDirectory = Utf8ToUtf16(value);
        } else if (key == "ModulePath") {
            settings->modulePath = Utf8ToUtf16(value);
        } else if (key == "CommandLine") {
            settings->commandLine = Utf8ToUtf16(value);
        }
        if (!ok) {
            *error = file.string() + ":" + std::to_string(lineNumber) + ": bad value for " + key;
            return false;
        }
    }
    return true;
}

bool WriteMachineSettings(const std::filesystem::path& file, const MachineSettings& settings) {
    std::ostringstream out;
    char locale[16];
    out << "[Machine]\n";
    std::snprintf(locale, sizeof locale, "%04X", settings.systemLocale);
    out << "SystemLocale=" << locale << "\n";
    std::snprintf(locale, sizeof locale, "%04X", settings.userLocale);
    out << "UserLocale=" << locale << "\n";
    out << "Administrator=" << (settings.administrator ? 1 : 0) << "\n";
    out << "WindowsDirectory=" << Utf16ToUtf8(settings.windowsDirectory) << "\n";
    out << "ModulePath=" << Utf16ToUtf8(settings.modulePath) << "\n";
    if (!settings.commandLine.empty()) {
        out << "CommandLine=" << Utf16ToUtf8(settings.commandLine) << "\n";
    }
    out << "\n[PresentDevices]\n";
    int index = 1;
    for (const auto& device : settings.presentDevices) {
        out << index++ << "=" << Utf16ToUtf8(device) << "\n";
    }
    if (!settings.restartFlags.empty()) {
        out << "\n[RestartFlags]\n";
        for (const auto& [device, flags] : settings.restartFlags) {
            std::snprintf(locale, sizeof locale, "%X", flags);
            out << Utf16ToUtf8(device) << "=" << locale << "\n";
        }
    }
    if (!settings.fileSecurity.empty()) {
        out << "\n[Security]\n";
        for (const auto& [path, sddl] : settings.fileSecurity)
            out << Utf16ToUtf8(path) << "=" << Utf16ToUtf8(sddl) << "\n";
    }
    return WriteBytesAtomically(file, out.str());
}

}  // namespace ze::sim
