#include "advprops/advance_tables.h"

namespace ze {

const AdvanceSubKeyEntry* FindAdvanceSubKeyEntry(std::u16string_view subKeyName) {
    for (const AdvanceSubKeyEntry& entry : g_AdvanceSubKeyTable) {
        if (entry.strSubKeyName == subKeyName) {
            return &entry;
        }
    }
    return nullptr;
}

const AdvanceEnumArray* FindAdvanceEnumArray(std::u16string_view enumArrayName) {
    for (const AdvanceEnumArray& array : g_AdvanceEnumArrays) {
        if (array.strEnumArrayName == enumArrayName) {
            return &array;
        }
    }
    return nullptr;
}

}  // namespace ze
