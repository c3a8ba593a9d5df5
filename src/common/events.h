// The outcomes an administrator acts on, reported to the Windows Event Log under the
// source "ZeRegionSvc". The IDs are stable: fleets alert on them. Their texts are the
// message table src/main/ZeRegionSvc.mc, compiled into the executable, which states
// the same ID, severity and number of inserts for each (a test holds the two
// together).
#pragma once

#include <initializer_list>
#include <string>

#include "platform/wintypes.h"

namespace ze {

// The event source, and the Application log's key of its registration.
inline constexpr char16_t kEventSourceName[] = u"ZeRegionSvc";
inline constexpr char16_t kEventSourceKeyPath[] =
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZeRegionSvc";

// (symbolic name, ID as Event Viewer shows it, entry type, number of inserts)
#define ZE_EVENTS(X)                                                      \
    X(ZE_EVENT_RESET_DONE, 1000, EVENTLOG_INFORMATION_TYPE, 4)            \
    X(ZE_EVENT_ADAPTER_STAYS_DISABLED, 1001, EVENTLOG_ERROR_TYPE, 1)      \
    X(ZE_EVENT_ADAPTER_LEFT_DISABLED, 1002, EVENTLOG_INFORMATION_TYPE, 1) \
    X(ZE_EVENT_DISABLE_HEALED, 1003, EVENTLOG_WARNING_TYPE, 1)            \
    X(ZE_EVENT_NO_NET_ID, 1004, EVENTLOG_ERROR_TYPE, 1)                   \
    X(ZE_EVENT_ADAPTER_NOT_FOUND, 1005, EVENTLOG_ERROR_TYPE, 1)           \
    X(ZE_EVENT_NO_COUNTRY, 1006, EVENTLOG_WARNING_TYPE, 1)                \
    X(ZE_EVENT_FILE_UNREADABLE, 1007, EVENTLOG_WARNING_TYPE, 1)           \
    X(ZE_EVENT_RUN_BUDGET_SPENT, 1008, EVENTLOG_INFORMATION_TYPE, 1)      \
    X(ZE_EVENT_SERVICE_UNREPORTED, 1009, EVENTLOG_ERROR_TYPE, 1)

enum ZeEventId : DWORD {
#define ZE_EVENT_ENUM(name, id, type, inserts) name = id,
    ZE_EVENTS(ZE_EVENT_ENUM)
#undef ZE_EVENT_ENUM
};

// The ID as the message table defines it and ReportEventW takes it: the shown ID
// with the severity bits of its entry type (informational 01, warning 10, error 11).
DWORD EventMessageId(ZeEventId id);
WORD EventType(ZeEventId id);

// Insert texts longer than the Event Log takes are cut to this many characters.
constexpr std::size_t kMaxEventInsertLength = 31839;

// Reports one outcome with its inserts. A failure to report is logged and changes
// nothing else: the run's result never depends on the Event Log.
void ReportOutcome(ZeEventId id, std::initializer_list<std::u16string> inserts);

// Reports ZE_EVENT_FILE_UNREADABLE when the file cannot be opened for reading.
void ReportIfUnreadable(const std::u16string& path);

}  // namespace ze
