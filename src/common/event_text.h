// An event of the event log as a person reads it, in one form for every place that
// shows one (the preview, the simulated machine's event log and journal).
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace ze {

// "Error", "Warning", "Information", "Success", or "Type<n>".
std::u16string EventTypeName(WORD type);

// "Error 1001 \"0007\"": the type, the event ID as Event Viewer shows it (its low 16
// bits) and each insert quoted, on one line whatever the inserts hold.
std::u16string EventText(WORD type, DWORD eventId, const std::vector<std::u16string>& inserts);

}  // namespace ze
