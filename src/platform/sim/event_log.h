// The simulated machine's event log: event sources opened by name, and the events
// reported through them, kept in order. A persisted machine also appends each event
// as a line of text to events.txt in its folder, and every event goes to the journal.
//
// As on Windows, a source need not be registered to report: the event is kept under
// the name it was opened with. Only the local machine's log is reachable; a remote
// server name fails as an unreachable log service does.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace ze::sim {

// Windows refuses an insert longer than this many characters.
constexpr std::size_t kMaxEventInsertChars = 31839;

struct EventRecord {
    std::u16string source;
    WORD type = EVENTLOG_INFORMATION_TYPE;
    DWORD eventId = 0;  // as reported, severity bits included
    std::vector<std::u16string> strings;
};

class EventLog {
  public:
    explicit EventLog(Machine& machine) : machine_(machine) {}

    HANDLE RegisterEventSource(LPCWSTR server, LPCWSTR source);
    BOOL ReportEvent(HANDLE log, WORD type, DWORD eventId, WORD count, LPCWSTR* strings);
    BOOL DeregisterEventSource(HANDLE log);

    // ---- state for tests and tools ----
    std::vector<EventRecord> Events() const;

  private:
    // The source's name a handle stands for, or nullptr for no open source.
    const std::u16string* SourceOf(HANDLE log) const;
    void Keep(EventRecord record);

    Machine& machine_;
    mutable std::mutex mutex_;
    std::map<HANDLE, std::u16string> sources_;
    std::vector<EventRecord> events_;
};

}  // namespace ze::sim
