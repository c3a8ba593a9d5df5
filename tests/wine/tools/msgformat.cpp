// msgformat FILE ID...: formats each message ID (decimal, with its severity bits) of
// the message table in FILE with FormatMessageW, the inserts %1 to %9 given as "<1>"
// to "<9>", and prints one line per ID as UTF-8:  id|text  (the text's CR LF shown as
// \r\n). An ID the file does not hold prints  id|error <code>.
#include <cstdio>
#include <cwchar>
#include <string>

#include "common/text.h"

#include <windows.h>

namespace {

std::string Shown(const wchar_t* text) {
    std::string shown;
    for (char c : ze::Utf16ToUtf8(std::u16string(text, text + std::wcslen(text)))) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else
            shown += c;
    }
    return shown;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return 2;
    HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::fprintf(stderr, "msgformat: cannot load the file: error %lu\n", GetLastError());
        return 2;
    }
    const wchar_t* inserts[] = {L"<1>", L"<2>", L"<3>", L"<4>", L"<5>",
                                L"<6>", L"<7>", L"<8>", L"<9>"};
    for (int i = 2; i < argc; ++i) {
        DWORD id = static_cast<DWORD>(std::wcstoul(argv[i], nullptr, 10));
        wchar_t* text = nullptr;
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                          FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                      module, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                      reinterpret_cast<LPWSTR>(&text), 0,
                                      reinterpret_cast<va_list*>(const_cast<wchar_t**>(inserts)));
        if (length == 0)
            std::printf("%lu|error %lu\n", id, GetLastError());
        else
            std::printf("%lu|%s\n", id, Shown(text).c_str());
        LocalFree(text);
    }
    FreeLibrary(module);
    return 0;
}
