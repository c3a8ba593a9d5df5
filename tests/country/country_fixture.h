// A machine with one wireless adapter's driver key (Net ID 0007), helpers to write
// the country data file and a platform settings file, and the journal with the
// driver key's path shortened to DRV.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/reg_format.h"
#include "common/registry.h"
#include "sim_fixture.h"

namespace ze::testing {

class CountryTest : public SimTest {
  protected:
    static constexpr char16_t kNetId[] = u"0007";
    static constexpr char16_t kDriverKey[] =
        u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}"
        u"\\0007";
    static constexpr char16_t kAdHocKey[] =
        u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}"
        u"\\0007\\NDI\\params\\AdhocNMode";
    static constexpr char16_t kPciId[] = u"pci\\ven_1234&dev_5678&subsys_9abc1234&rev_01";
    static constexpr char16_t kPlatformFile[] = u"C:\\windows\\system32\\ZC9ABC1234.ini";

    // A driver key with its option mask, its hardware ID and an ad-hoc N property.
    void AddDriverKey(std::u16string_view coInstOpt = u"00111111") {
        Reg().SetString(kDriverKey, u"ZeCoInstOpt", coInstOpt);
        Reg().SetString(kDriverKey, u"MatchingDeviceId", kPciId);
        Reg().SetString(kAdHocKey, u"ParamDesc", u"Ad Hoc 11n");
        Reg().SetString(std::u16string(kAdHocKey) + u"\\enum", u"0", u"Disabled");
    }
    void WriteDat(std::u16string_view text) { WriteTextFile(kDatPath, text); }
    void WritePlatformFile(std::u16string_view text) { WriteTextFile(kPlatformFile, text); }

    // Journal lines with the driver key's path written as DRV.
    std::vector<std::string> Changes() const {
        const std::string driverKey =
            "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}"
            "\\0007";
        std::vector<std::string> lines = JournalLines();
        for (std::string& line : lines) {
            for (std::size_t at = line.find(driverKey); at != std::string::npos;
                 at = line.find(driverKey)) {
                line.replace(at, driverKey.size(), "DRV");
            }
        }
        return lines;
    }

    // Expected journal lines of values written under the driver key, for the bytes
    // Windows stores (a string's terminator included when the program's counted
    // bytes lack it).
    static std::string SetLine(std::string_view name, DWORD type, const std::vector<BYTE>& data) {
        return "SetValue DRV \"" + std::string(name) + "\" " + Utf16ToUtf8(RegTypeName(type)) +
               " " + Utf16ToUtf8(FormatRegData(type, data));
    }
    static std::string SzLine(std::string_view name, std::u16string_view text) {
        return SetLine(name, REG_SZ, Utf16Bytes(text, !text.empty()));
    }
    static std::string DwordLine(std::string_view name, DWORD value) {
        return SetLine(name, REG_DWORD, DwordBytes(value));
    }

    // The stored value under the driver key; REG_NONE with no data when missing.
    sim::RegValue DriverValue(std::u16string_view name) const {
        auto value = Value(kDriverKey, name);
        return value ? *value : sim::RegValue{};
    }
};

using Lines = std::vector<std::u16string>;
using Changed = std::vector<std::string>;

}  // namespace ze::testing
