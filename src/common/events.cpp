#include "common/events.h"

#include <vector>

#include "common/log.h"
#include "platform/handles.h"

namespace ze {

WORD EventType(ZeEventId id) {
    switch (id) {
#define ZE_EVENT_TYPE(name, number, type, inserts) \
    case name:                                     \
        return type;
        ZE_EVENTS(ZE_EVENT_TYPE)
#undef ZE_EVENT_TYPE
    }
    return EVENTLOG_INFORMATION_TYPE;
}

DWORD EventMessageId(ZeEventId id) {
    switch (EventType(id)) {
        case EVENTLOG_ERROR_TYPE:
            return 0xC0000000u | id;
        case EVENTLOG_WARNING_TYPE:
            return 0x80000000u | id;
        default:
            return 0x40000000u | id;
    }
}

void ReportOutcome(ZeEventId id, std::initializer_list<std::u16string> inserts) {
    std::vector<std::u16string> texts;
    std::vector<LPCWSTR> strings;
    for (const std::u16string& insert : inserts)
        texts.push_back(insert.substr(0, kMaxEventInsertLength));
    for (const std::u16string& text : texts)
        strings.push_back(text.c_str());
    HANDLE log = OS().RegisterEventSourceW(nullptr, kEventSourceName);
    if (log == nullptr) {
        LogPrint(u"[ZeRegionSvc] Event %u not reported, no event log\r\n", static_cast<UINT>(id));
        return;
    }
    if (!OS().ReportEventW(log, EventType(id), 0, EventMessageId(id), nullptr,
                           static_cast<WORD>(strings.size()), 0, strings.data(), nullptr)) {
        LogPrint(u"[ZeRegionSvc] Event %u not reported\r\n", static_cast<UINT>(id));
    }
    OS().DeregisterEventSource(log);
}

void ReportIfUnreadable(const std::u16string& path) {
    UniqueFile file(OS().CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ReportOutcome(ZE_EVENT_FILE_UNREADABLE, {path});
}

}  // namespace ze
