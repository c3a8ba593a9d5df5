// The adapter's restart at the end of a reset, and the restart record that lets a
// later run enable an adapter whose restart was cut short.
//
// The record is a key of [Restart] in the program settings file, named by the Net ID of
// the adapter being restarted: the file the service and "/debug" both read their Net ID
// from, beside the executable, where only administrators and the service write, and
// kept by reinstalls and upgrades with the program's other settings. One key per
// adapter, so that the record of an adapter unplugged before it was healed survives the
// restart of another. The profile write is done, the file closed and flushed to disk,
// before the class installer is asked to disable anything, so neither a process killed
// after it nor a power loss loses the record.
#include "common/events.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/result_codes.h"
#include "device/device.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "service/service.h"

namespace ze {

namespace {

constexpr char16_t kRecordSection[] = u"Restart";
constexpr char16_t kRecordValue[] = u"disabling";
// Room for the key names of [Restart]: far more adapters than a laptop has.
constexpr DWORD kRecordListChars = 4096;

// The profile functions leave the file in the system's cache, where a power loss
// takes it; the record must be on the disk before the adapter is disabled.
bool FlushToDisk(const std::u16string& file) {
    UniqueFile handle(OS().CreateFileW(file.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle && OS().FlushFileBuffers(handle.get());
}

void WriteRecord(const RunInputs& inputs) {
    if (!inputs.keepsRestartRecord) {
        return;
    }
    if (!OS().WritePrivateProfileStringW(kRecordSection, inputs.netId.c_str(), kRecordValue,
                                         inputs.settingsFile.c_str())) {
        LogPrint(u"[ZeRegionSvc] Write restart record to ini failed\r\n");
    } else if (!FlushToDisk(inputs.settingsFile)) {
        LogPrint(u"[ZeRegionSvc] Flush restart record to disk failed\r\n");
    }
}

// The last record takes its section with it, so that the settings file is as it was
// before the restart.
void ClearRecord(const RunInputs& inputs, const std::u16string& netId) {
    if (!inputs.keepsRestartRecord) {
        return;
    }
    bool last = PendingRestartRecords(inputs.settingsFile) == std::vector<std::u16string>{netId};
    if (!OS().WritePrivateProfileStringW(kRecordSection, last ? nullptr : netId.c_str(), nullptr,
                                         inputs.settingsFile.c_str())) {
        LogPrint(u"[ZeRegionSvc] Clear restart record in ini failed\r\n");
    }
}

// Heals one recorded adapter: 0 when the record is cleared, ZE_ERR_NO_ADAPTER when the
// adapter is not present, ZE_ERR_ADAPTER_NOT_ENABLED when it could not be enabled.
int HealRecordedAdapter(const RunInputs& inputs, const std::u16string& netId, bool* restartNeeded) {
    // Cut short before its disable, or after its enable: the adapter is enabled.
    bool disabled = true;
    int state = QueryDeviceDisabled(netId, &disabled);
    if (state == 0 && !disabled) {
        LogPrint(u"[ZeRegionSvc] Restart record of adapter %s cleared: it is enabled\r\n",
                 netId.c_str());
        ClearRecord(inputs, netId);
        return 0;
    }
    // Unplugged meanwhile: it is healed by the first run that finds it present.
    if (state == ZE_ERR_NO_ADAPTER) {
        LogPrint(u"[ZeRegionSvc] Restart record of adapter %s kept: it is not present\r\n",
                 netId.c_str());
        return ZE_ERR_NO_ADAPTER;
    }
    LogPrint(
        u"[ZeRegionSvc] Adapter %s was left disabled by a restart that did not finish: "
        u"enabling it\r\n",
        netId.c_str());
    if (EnableDeviceAgain(netId, restartNeeded) != 0) {
        return ZE_ERR_ADAPTER_NOT_ENABLED;
    }
    ClearRecord(inputs, netId);
    ReportOutcome(ZE_EVENT_DISABLE_HEALED, {netId});
    return 0;
}

}  // namespace

std::vector<std::u16string> PendingRestartRecords(const std::u16string& settingsFile) {
    std::vector<char16_t> names(kRecordListChars, u'\0');
    DWORD length = OS().GetPrivateProfileStringW(kRecordSection, nullptr, u"", names.data(),
                                                 kRecordListChars, settingsFile.c_str());
    std::vector<std::u16string> records;
    // Names, each with its terminator.
    for (std::size_t start = 0; start < length;) {
        std::u16string name(names.data() + start);
        start += name.size() + 1;
        if (!name.empty()) {
            records.push_back(std::move(name));
        }
    }
    return records;
}

int HealInterruptedRestarts(const RunInputs& inputs, bool* restartNeeded, bool* ownStaysDisabled) {
    int result = 0;
    for (const std::u16string& netId : PendingRestartRecords(inputs.settingsFile)) {
        if (HealRecordedAdapter(inputs, netId, restartNeeded) == ZE_ERR_ADAPTER_NOT_ENABLED) {
            result = ZE_ERR_ADAPTER_NOT_ENABLED;
            *ownStaysDisabled = *ownStaysDisabled || netId == inputs.netId;
        }
    }
    return result;
}

RestartOutcome RestartAdapter(const RunInputs& inputs, const std::function<void()>& stepDone) {
    RestartOutcome outcome;
    bool disabled = false;
    outcome.disable = QueryDeviceDisabled(inputs.netId, &disabled);
    bool restart = outcome.disable == 0 && !disabled;
    if (outcome.disable == 0 && disabled) {
        // Disabled by hand or by policy: the new values wait until someone enables it.
        LogPrint(u"[ZeRegionSvc] The adapter is disabled and is left disabled\r\n");
        outcome.leftDisabled = true;
    }
    if (restart) {
        WriteRecord(inputs);
        outcome.disable = EnableDevice(0, inputs.netId, &outcome.restartNeeded);
    }
    stepDone();
    if (restart) {
        if (outcome.disable == 0 && EnableDeviceAgain(inputs.netId, &outcome.restartNeeded) != 0) {
            outcome.result = ZE_ERR_ADAPTER_NOT_ENABLED;
        }
        // Kept while the adapter stays disabled by this run, for the next run to heal.
        if (outcome.result == 0) {
            ClearRecord(inputs, inputs.netId);
        }
    }
    stepDone();
    return outcome;
}

}  // namespace ze
