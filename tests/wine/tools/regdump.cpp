// regdump KEY: prints every value under HKEY_LOCAL_MACHINE\KEY and its subkeys, one
// line per value, as UTF-8:  path|name|type|hex bytes
// Values of a key come in enumeration order, then its subkeys, depth first. A key
// that cannot be opened is reported on standard error with exit code 2.
// It talks to the registry directly, not through the program's platform layer, so
// that the Wine tier reads back what Windows really stored.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/text.h"

#include <windows.h>

namespace {

std::string Utf8(const std::wstring& text) {
    return ze::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

std::string Hex(const BYTE* data, DWORD size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < size; ++i) {
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 0xF]);
    }
    return out;
}

bool DumpKey(const std::wstring& path) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "regdump: cannot open %s: error %ld\n", Utf8(path).c_str(), status);
        return false;
    }
    DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxNameLen = 0, maxDataLen = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLen, nullptr, &values,
                     &maxNameLen, &maxDataLen, nullptr, nullptr);
    std::vector<wchar_t> name(maxNameLen + 1);
    std::vector<BYTE> data(maxDataLen + 1);
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = static_cast<DWORD>(name.size());
        DWORD dataLen = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen) !=
            ERROR_SUCCESS) {
            break;
        }
        std::printf("%s|%s|%lu|%s\n", Utf8(path).c_str(),
                    Utf8(std::wstring(name.data(), nameLen)).c_str(), type,
                    Hex(data.data(), dataLen).c_str());
    }
    std::vector<std::wstring> children;
    std::vector<wchar_t> child(maxSubKeyLen + 1);
    for (DWORD i = 0;; ++i) {
        DWORD childLen = static_cast<DWORD>(child.size());
        if (RegEnumKeyExW(key, i, child.data(), &childLen, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        children.emplace_back(child.data(), childLen);
    }
    RegCloseKey(key);
    bool ok = true;
    for (const std::wstring& childName : children) {
        ok = DumpKey(path + L"\\" + childName) && ok;
    }
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: regdump KEY (relative to HKEY_LOCAL_MACHINE)\n", stderr);
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY);
    return DumpKey(argv[1]) ? 0 : 2;
}
