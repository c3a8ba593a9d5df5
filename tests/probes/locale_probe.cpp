// GetLocaleInfoW for the two default locales and the two answers the program asks
// for (country abbreviation, language id), with a size query, a buffer that is too
// small and an ample one.
#include "probe.h"

namespace ze {

int RunProbe(int, char16_t**) {
    struct Named {
        const char16_t* name;
        DWORD value;
    };
    const Named locales[] = {{u"system", LOCALE_SYSTEM_DEFAULT}, {u"user", LOCALE_USER_DEFAULT}};
    const Named types[] = {{u"SABBREVCTRYNAME", LOCALE_SABBREVCTRYNAME},
                           {u"ILANGUAGE", LOCALE_ILANGUAGE}};
    for (const Named& locale : locales) {
        for (const Named& type : types) {
            for (int capacity : {0, 2, 16}) {
                char16_t buffer[16] = {};
                OS().SetLastError(0);
                int result = OS().GetLocaleInfoW(locale.value, type.value,
                                                 capacity == 0 ? nullptr : buffer, capacity);
                std::u16string line =
                    Format(u"%s %s cch=%d -> %d", locale.name, type.name, capacity, result);
                if (result == 0) {
                    line += Format(u" error=%u", OS().GetLastError());
                } else if (capacity != 0) {
                    line += u" \"" + probe::Escaped(std::u16string_view(buffer, result)) + u"\"";
                }
                probe::Line(line);
            }
        }
    }
    return 0;
}

}  // namespace ze
