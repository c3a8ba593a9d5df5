#include "common/event_text.h"

#include "common/reg_format.h"
#include "common/text.h"

namespace ze {

std::u16string EventTypeName(WORD type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE:
            return u"Error";
        case EVENTLOG_WARNING_TYPE:
            return u"Warning";
        case EVENTLOG_INFORMATION_TYPE:
            return u"Information";
        case EVENTLOG_SUCCESS:
            return u"Success";
        default:
            return Format(u"Type%u", static_cast<UINT>(type));
    }
}

std::u16string EventText(WORD type, DWORD eventId, const std::vector<std::u16string>& inserts) {
    std::u16string text = EventTypeName(type) + Format(u" %u", static_cast<UINT>(eventId & 0xFFFF));
    for (const auto& insert : inserts)
        text += u" " + QuoteText(insert);
    return text;
}

}  // namespace ze
