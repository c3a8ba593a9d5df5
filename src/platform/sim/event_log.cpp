#include "platform/sim/event_log.h"

#include "common/event_text.h"
#include "common/text.h"

namespace ze::sim {

HANDLE EventLog::RegisterEventSource(LPCWSTR server, LPCWSTR source) {
    if (machine_.DueFault(Call::RegisterEventSourceW))
        return nullptr;
    if (server != nullptr && *server != u'\0') {
        Machine::SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (source == nullptr || *source == u'\0') {
        Machine::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(machine_.NextHandleValue());
    std::lock_guard<std::mutex> lock(mutex_);
    sources_[handle] = source;
    return handle;
}

const std::u16string* EventLog::SourceOf(HANDLE log) const {
    auto found = sources_.find(log);
    return found == sources_.end() ? nullptr : &found->second;
}

BOOL EventLog::ReportEvent(HANDLE log, WORD type, DWORD eventId, WORD count, LPCWSTR* strings) {
    if (machine_.DueFault(Call::ReportEventW))
        return FALSE;
    EventRecord record{{}, type, eventId, {}};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::u16string* source = SourceOf(log);
        if (source == nullptr)
            return Machine::Fail(ERROR_INVALID_HANDLE);
        record.source = *source;
    }
    if (count > 0 && strings == nullptr)
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    for (WORD i = 0; i < count; ++i) {
        std::u16string insert = strings[i] != nullptr ? std::u16string(strings[i]) : u"";
        if (insert.size() > kMaxEventInsertChars)
            return Machine::Fail(ERROR_INVALID_PARAMETER);
        record.strings.push_back(std::move(insert));
    }
    Keep(std::move(record));
    return TRUE;
}

void EventLog::Keep(EventRecord record) {
    std::u16string text = EventText(record.type, record.eventId, record.strings);
    machine_.Record("ReportEvent", record.source, text);
    if (machine_.Folder())
        AppendLine(*machine_.Folder() / "events.txt",
                   Utf16ToUtf8(record.source + u" " + text) + "\n");
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(record));
}

BOOL EventLog::DeregisterEventSource(HANDLE log) {
    if (machine_.DueFault(Call::DeregisterEventSource))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    if (sources_.erase(log) == 0)
        return Machine::Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

std::vector<EventRecord> EventLog::Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

}  // namespace ze::sim
