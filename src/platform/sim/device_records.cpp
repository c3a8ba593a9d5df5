// Devices and setup classes as Windows records them in the registry.
#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/device_manager.h"
#include "platform/sim/value_data.h"

namespace ze::sim {

std::u16string DeviceKeyPath(std::u16string_view instanceId) {
    return JoinKeyPath(kEnumKeyPath, instanceId);
}

std::u16string GuidToString(const GUID& guid) {
    return Format(u"{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", guid.Data1, guid.Data2,
                  guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                  guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}

std::optional<GUID> ParseGuid(std::u16string_view text) {
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return std::nullopt;
    std::vector<int> digits;
    for (std::size_t i = 1; i < 37; ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (text[i] != u'-')
                return std::nullopt;
            continue;
        }
        int digit = HexDigit(text[i]);
        if (digit < 0)
            return std::nullopt;
        digits.push_back(digit);
    }
    auto read = [&](std::size_t from, std::size_t count) {
        std::uint32_t value = 0;
        for (std::size_t i = from; i < from + count; ++i)
            value = value * 16 + static_cast<std::uint32_t>(digits[i]);
        return value;
    };
    GUID guid{};
    guid.Data1 = read(0, 8);
    guid.Data2 = static_cast<std::uint16_t>(read(8, 4));
    guid.Data3 = static_cast<std::uint16_t>(read(12, 4));
    for (std::size_t i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<std::uint8_t>(read(16 + 2 * i, 2));
    return guid;
}

void AddSetupClass(RegistryStore& registry, std::u16string_view classGuid,
                   std::u16string_view name) {
    registry.SetString(JoinKeyPath(kSetupClassKeyPath, classGuid), u"Class", name);
}

void AddDevice(RegistryStore& registry, std::u16string_view instanceId,
               const std::vector<std::u16string>& hardwareIds, std::u16string_view driver,
               std::u16string_view classGuid) {
    std::u16string path = DeviceKeyPath(instanceId);
    std::vector<BYTE> list;
    for (const auto& id : hardwareIds) {
        std::vector<BYTE> bytes = TextData(id);
        list.insert(list.end(), bytes.begin(), bytes.end());
    }
    list.push_back(0);
    list.push_back(0);
    registry.SetValue(path, u"HardwareID", REG_MULTI_SZ, std::move(list));
    registry.SetString(path, u"ClassGUID", classGuid);
    if (!driver.empty())
        registry.SetString(path, u"Driver", driver);
    registry.SetDword(path, u"ConfigFlags", 0);
}

}  // namespace ze::sim
