// What the device installer tells about each present network device: its ConfigFlags
// (the restart reads CONFIGFLAG_DISABLED there; a device without the value answers
// ERROR_INVALID_DATA) and its install parameters (the restart reads their
// DI_NEEDRESTART and DI_NEEDREBOOT; a wrong cbSize is refused). Lines are sorted by
// instance ID, so the enumeration order does not matter.
#include <algorithm>
#include <vector>

#include "probe.h"

namespace ze {

namespace {

const GUID kNetClass = {
    0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::u16string Outcome(BOOL ok) {
    return ok ? u"ok" : Format(u"error=%u", OS().GetLastError());
}

std::u16string DescribeDevice(HDEVINFO set, SP_DEVINFO_DATA& device) {
    char16_t id[200] = {};
    OS().SetupDiGetDeviceInstanceIdW(set, &device, id, 200, nullptr);
    DWORD type = 0;
    DWORD flags = 0xDEAD;
    DWORD size = 0;
    BOOL read = OS().SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_CONFIGFLAGS, &type,
                                                       reinterpret_cast<BYTE*>(&flags),
                                                       sizeof flags, &size);
    std::u16string line = Format(u"%s ConfigFlags %s", id, Outcome(read).c_str());
    if (read) {
        line += Format(u" type=%u value=%X size=%u", type, flags, size);
    }
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    BOOL got = OS().SetupDiGetDeviceInstallParamsW(set, &device, &params);
    line += Format(u"; install params %s", Outcome(got).c_str());
    if (got) {
        line += Format(u" flags=%X", params.Flags);
    }
    SP_DEVINSTALL_PARAMS_W shortParams{};
    shortParams.cbSize = 12;
    line +=
        Format(u"; cbSize 12 %s",
               Outcome(OS().SetupDiGetDeviceInstallParamsW(set, &device, &shortParams)).c_str());
    return line;
}

}  // namespace

int RunProbe(int, char16_t**) {
    HDEVINFO set = OS().SetupDiGetClassDevsW(&kNetClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        probe::Line(Format(u"no device set, error=%u", OS().GetLastError()));
        return 1;
    }
    std::vector<std::u16string> lines;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; OS().SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        lines.push_back(DescribeDevice(set, device));
    }
    OS().SetupDiDestroyDeviceInfoList(set);
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) {
        probe::Line(line);
    }
    return 0;
}

}  // namespace ze
