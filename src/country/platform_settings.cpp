#include <vector>

#include "common/events.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/registry.h"
#include "common/text.h"
#include "country/country.h"
#include "country/driver_value.h"
#include "platform/handles.h"

namespace ze {

namespace {

constexpr DWORD kMatchingDeviceIdBytes = 256;
constexpr DWORD kSectionNameChars = 1024;
// RegValue texts of the text types are held in a 128-character buffer.
constexpr std::size_t kRegValueChars = 128;

// A registry value as one section of the platform settings file describes it. The
// data is followed in memory by a NUL that the byte count leaves out, as a text's
// terminator follows its characters.
struct PlatformValue {
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
    DWORD byteCount = 0;
};

// The text's UTF-16LE units and `terminators` NUL characters.
PlatformValue TextValue(DWORD type, const std::u16string& text, std::size_t terminators) {
    std::size_t units = text.size() + terminators;
    std::vector<BYTE> data((units + 1) * 2, 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        data[2 * i] = static_cast<BYTE>(text[i]);
        data[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    return {type, std::move(data), static_cast<DWORD>(units * 2)};
}

// RegType chooses the registry type (exact match; anything else is REG_SZ) and how
// RegValue becomes its data.
PlatformValue ConvertRegValue(const std::u16string& typeText, const std::u16string& valueText) {
    if (typeText == u"REG_DWORD") {
        auto number = static_cast<DWORD>(Wtoi(valueText));
        return {REG_DWORD,
                {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                 static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24), 0, 0},
                4};
    }
    if (typeText == u"REG_BINARY") {
        // The characters themselves, not hexadecimal pairs.
        return TextValue(REG_BINARY, valueText, 0);
    }
    if (typeText == u"REG_MULTI_SZ") {
        // A list of one string: the string's terminator and the empty string ending
        // the list.
        return TextValue(REG_MULTI_SZ, valueText, 2);
    }
    return TextValue(REG_SZ, valueText, 0);
}

void ApplySection(const std::u16string& driverKeyPath, const std::u16string& filePath,
                  const std::u16string& section) {
    std::u16string name = GetIniString(section, u"RegName", u"", filePath);
    std::u16string typeText = GetIniString(section, u"RegType", u"", filePath);
    std::u16string valueText = GetIniString(section, u"RegValue", u"", filePath);
    PlatformValue value = ConvertRegValue(typeText, valueText);
    if (!PlatformRegValueFits(typeText, valueText)) {
        // Cutting the text would write a value nobody asked for.
        LogPrint(u"[ZeRegionSvc] RegValue of [%s] longer than %d characters, not written\r\n",
                 section.c_str(), static_cast<int>(kRegValueChars - 1));
        return;
    }
    WriteRegValue(driverKeyPath, name, value.type, value.data.data(), value.byteCount);
}

// The names of the file's sections, in file order. A list that filled the whole
// buffer was cut by the call: its last name may be cut and is dropped.
std::vector<std::u16string> SectionNames(const std::u16string& filePath) {
    char16_t names[kSectionNameChars] = {};
    DWORD length = OS().GetPrivateProfileSectionNamesW(names, kSectionNameChars, filePath.c_str());
    std::vector<std::u16string> sections;
    for (DWORD pos = 0; pos < length && pos < kSectionNameChars;) {
        std::size_t nameLength = BoundedLength(names + pos, length - pos);
        sections.emplace_back(names + pos, nameLength);
        pos += static_cast<DWORD>(nameLength) + 1;
    }
    if (length >= kSectionNameChars - 2 && !sections.empty()) {
        LogPrint(u"[ZeRegionSvc] Too many sections in %s, [%s] and the rest not applied\r\n",
                 filePath.c_str(), sections.back().c_str());
        sections.pop_back();
    }
    return sections;
}

}  // namespace

std::u16string PlatformChipId(const std::u16string& matchingDeviceId) {
    std::u16string bus = matchingDeviceId.substr(0, 3);
    if (bus == u"PCI" && matchingDeviceId.size() >= 37) {
        return matchingDeviceId.substr(29, 8);
    }
    // A USB text too short to hold both the vendor and the product digits is
    // treated like a text of any other bus.
    if (bus == u"USB" && matchingDeviceId.size() >= 21) {
        return matchingDeviceId.substr(8, 4) + matchingDeviceId.substr(17, 4);
    }
    return std::u16string();
}

bool ApplyRegistryFile(std::u16string driverKeyPath, std::u16string filePath) {
    WIN32_FIND_DATAW found{};
    if (!UniqueFind(OS().FindFirstFileW(filePath.c_str(), &found))) {
        return false;
    }
    for (const std::u16string& section : SectionNames(filePath)) {
        ApplySection(driverKeyPath, filePath, section);
    }
    return true;
}

bool IsPlatformRegType(const std::u16string& typeText) {
    return typeText == u"REG_DWORD" || typeText == u"REG_BINARY" || typeText == u"REG_MULTI_SZ" ||
           typeText == u"REG_SZ";
}

bool PlatformRegValueFits(const std::u16string& typeText, const std::u16string& valueText) {
    return typeText == u"REG_DWORD" || valueText.size() < kRegValueChars;
}

bool PlatformSettingsFile(const std::u16string& driverKeyPath, std::u16string* filePath) {
    char16_t id[kMatchingDeviceIdBytes / 2] = {};
    DWORD type = 0;
    DWORD size = kMatchingDeviceIdBytes;
    if (!ReadDriverValue(driverKeyPath, u"MatchingDeviceId", &type, reinterpret_cast<BYTE*>(id),
                         &size, u"[ZeRegionSvc] Open Registry Key Fail!\r\n",
                         u"[ZeRegionSvc] Get Platform Type Fail!\r\n")) {
        return false;
    }
    // The text ends at its terminator or at the end of the data, even when the data
    // fills the whole buffer.
    std::u16string matchingDeviceId(id, BoundedLength(id, (size + 1) / 2));
    WcsUpr(matchingDeviceId);

    char16_t systemDirectory[MAX_PATH] = {};
    UINT length = OS().GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        LogPrint(u"[ZeRegionSvc] Get System Directory Fail!\r\n");
        return false;
    }
    *filePath = Format(u"%s\\ZC%s.ini", systemDirectory, PlatformChipId(matchingDeviceId).c_str());
    return true;
}

bool SetPlatformSettings(std::u16string driverKeyPath) {
    std::u16string filePath;
    if (!PlatformSettingsFile(driverKeyPath, &filePath))
        return false;
    ReportIfUnreadable(filePath);
    return ApplyRegistryFile(driverKeyPath, filePath);
}

}  // namespace ze
