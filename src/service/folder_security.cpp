#include "service/folder_security.h"

#include <algorithm>
#include <cstdint>

#include "common/console.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/handles.h"

namespace ze {

namespace {

constexpr char16_t kSystem[] = u"S-1-5-18";
constexpr char16_t kAdministrators[] = u"S-1-5-32-544";
constexpr char16_t kTrustedInstaller[] =
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr char16_t kOwnerRights[] = u"S-1-3-4";

// The rights that change what an object holds or who may change it.
constexpr std::uint32_t kWriteRights = 0x2 | 0x4 |   // write or append data, add entries
                                       0x40 |        // delete entries of a folder
                                       0x10000 |     // DELETE
                                       0x40000 |     // WRITE_DAC
                                       0x80000 |     // WRITE_OWNER
                                       0x10000000 |  // GENERIC_ALL
                                       0x40000000;   // GENERIC_WRITE

// The SID an alias stands for; other text as it is.
std::u16string SidOf(std::u16string_view principal) {
    static constexpr struct {
        std::u16string_view alias;
        std::u16string_view sid;
    } kAliases[] = {{u"SY", kSystem},     {u"BA", kAdministrators}, {u"OW", kOwnerRights},
                    {u"WD", u"S-1-1-0"},  {u"AU", u"S-1-5-11"},     {u"BU", u"S-1-5-32-545"},
                    {u"IU", u"S-1-5-4"},  {u"CO", u"S-1-3-0"},      {u"LS", u"S-1-5-19"},
                    {u"NS", u"S-1-5-20"}, {u"BG", u"S-1-5-32-546"}, {u"PU", u"S-1-5-32-547"}};
    for (const auto& alias : kAliases) {
        if (principal == alias.alias)
            return std::u16string(alias.sid);
    }
    return std::u16string(principal);
}

// The access mask of an ACE's rights field: hexadecimal, or two-letter codes.
std::optional<std::uint32_t> RightsOf(std::u16string_view text) {
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        unsigned value = 0;
        if (text.size() > 10 || !ScanWhole(text, u"%x", &value))
            return std::nullopt;
        return value;
    }
    static constexpr struct {
        std::u16string_view code;
        std::uint32_t mask;
    } kCodes[] = {
        {u"GA", 0x10000000}, {u"GR", 0x80000000}, {u"GW", 0x40000000}, {u"GX", 0x20000000},
        {u"RC", 0x20000},    {u"SD", 0x10000},    {u"WD", 0x40000},    {u"WO", 0x80000},
        {u"RP", 0x10},       {u"WP", 0x20},       {u"CC", 0x1},        {u"DC", 0x2},
        {u"LC", 0x4},        {u"SW", 0x8},        {u"LO", 0x80},       {u"DT", 0x40},
        {u"CR", 0x100},      {u"FA", 0x1F01FF},   {u"FR", 0x120089},   {u"FW", 0x120116},
        {u"FX", 0x1200A0},   {u"KA", 0xF003F},    {u"KR", 0x20019},    {u"KW", 0x20006},
        {u"KX", 0x20019}};
    std::uint32_t mask = 0;
    for (std::size_t at = 0; at < text.size(); at += 2) {
        std::u16string_view code = text.substr(at, 2);
        auto known = std::find_if(std::begin(kCodes), std::end(kCodes),
                                  [&](const auto& entry) { return entry.code == code; });
        if (known == std::end(kCodes))
            return std::nullopt;
        mask |= known->mask;
    }
    return mask;
}

std::vector<std::u16string_view> Fields(std::u16string_view ace) {
    std::vector<std::u16string_view> fields;
    for (std::size_t start = 0;;) {
        std::size_t end = ace.find(u';', start);
        fields.push_back(
            ace.substr(start, end == std::u16string_view::npos ? ace.npos : end - start));
        if (end == std::u16string_view::npos)
            return fields;
        start = end + 1;
    }
}

// The text of one part of the descriptor ("O:", "D:"...), up to the next part. Outside
// the entries' parentheses a letter of the four and a colon can only start a part: SIDs
// hold digits and dashes, aliases two letters.
std::optional<std::u16string_view> Part(std::u16string_view sddl, char16_t tag) {
    std::optional<std::size_t> start;
    int depth = 0;
    for (std::size_t at = 0; at < sddl.size(); ++at) {
        char16_t c = sddl[at];
        if (c == u'(' || c == u')') {
            depth += c == u'(' ? 1 : -1;
            continue;
        }
        bool opens = depth == 0 && at + 1 < sddl.size() && sddl[at + 1] == u':' &&
                     std::u16string_view(u"OGDS").find(c) != std::u16string_view::npos;
        if (!opens)
            continue;
        if (start)
            return sddl.substr(*start, at - *start);
        if (c == tag)
            start = at + 2;
        ++at;
    }
    if (start)
        return sddl.substr(*start);
    return std::nullopt;
}

// A file's owner and access list (as `what` asks) as SDDL text; the Win32 error when
// they cannot be read.
DWORD ReadSddl(const std::u16string& path, SECURITY_INFORMATION what, std::u16string* sddl) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    DWORD error = OS().GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr,
                                             nullptr, nullptr, &raw);
    if (error != ERROR_SUCCESS)
        return error;
    UniqueLocal descriptor(raw);
    LPWSTR text = nullptr;
    if (!OS().ConvertSecurityDescriptorToStringSecurityDescriptorW(raw, SDDL_REVISION_1, what,
                                                                   &text, nullptr))
        return OS().GetLastError();
    UniqueLocal held(text);
    *sddl = text;
    return ERROR_SUCCESS;
}

std::vector<std::u16string> TrustedPrincipals() {
    std::vector<std::u16string> trusted{kSystem, kAdministrators, kTrustedInstaller};
    // Whoever owns the system directory can replace Windows itself and gains nothing by
    // writing the program's files (TrustedInstaller on Windows; under Wine the prefix's
    // user, who owns every file).
    char16_t system[MAX_PATH] = {};
    UINT length = OS().GetSystemDirectoryW(system, MAX_PATH);
    std::u16string sddl;
    if (length > 0 && length < MAX_PATH &&
        ReadSddl(system, OWNER_SECURITY_INFORMATION, &sddl) == ERROR_SUCCESS) {
        if (std::optional<std::u16string_view> owner = Part(sddl, u'O'))
            trusted.push_back(SidOf(*owner));
    }
    return trusted;
}

// A principal as a person reads it: the well-known groups by name.
std::u16string Described(const std::u16string& principal) {
    static constexpr struct {
        std::u16string_view alias;
        std::u16string_view name;
    } kNames[] = {{u"WD", u"Everyone"},
                  {u"AU", u"Authenticated Users"},
                  {u"BU", u"Users"},
                  {u"IU", u"Interactive users"}};
    for (const auto& known : kNames) {
        if (principal == known.alias)
            return std::u16string(known.name) + u" (" + principal + u")";
    }
    return principal;
}

// Why the file or folder is unsafe; empty when it is safe or does not exist.
std::u16string Unsafe(const std::u16string& path, const std::vector<std::u16string>& trusted) {
    std::u16string sddl;
    DWORD error = ReadSddl(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddl);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return std::u16string();
    if (error != ERROR_SUCCESS)
        return Format(u"its permissions cannot be read (error %u)", error);
    std::optional<std::u16string> writer = UntrustedWriter(sddl, trusted);
    return writer ? u"it can be written by " + Described(*writer) : std::u16string();
}

}  // namespace

std::optional<std::u16string> UntrustedWriter(std::u16string_view sddl,
                                              const std::vector<std::u16string>& trusted) {
    const std::u16string unreadable = u"(unreadable access list)";
    auto isTrusted = [&](const std::u16string& sid) {
        return std::find(trusted.begin(), trusted.end(), sid) != trusted.end();
    };
    std::optional<std::u16string_view> owner = Part(sddl, u'O');
    std::optional<std::u16string_view> dacl = Part(sddl, u'D');
    if (!owner || !dacl)
        return unreadable;
    if (dacl->find(u"NO_ACCESS_CONTROL") != std::u16string_view::npos)
        return std::u16string(u"WD");
    std::u16string ownerSid = SidOf(*owner);
    bool ownerRightsListed = false;
    for (std::size_t open = dacl->find(u'('); open != std::u16string_view::npos;
         open = dacl->find(u'(', open + 1)) {
        std::size_t close = dacl->find(u')', open);
        if (close == std::u16string_view::npos)
            return unreadable;
        std::vector<std::u16string_view> ace = Fields(dacl->substr(open + 1, close - open - 1));
        if (ace.size() < 6)
            return unreadable;
        std::optional<std::uint32_t> rights = RightsOf(ace[2]);
        if (!rights)
            return unreadable;
        std::u16string sid = SidOf(ace[5]);
        ownerRightsListed = ownerRightsListed || sid == kOwnerRights;
        // Deny entries are not counted; inherit-only ones do not apply to the object
        // itself, and CREATOR OWNER only ever applies through inheritance.
        bool allows = ace[0] == u"A" || ace[0] == u"OA";
        bool inheritOnly = ace[1].find(u"IO") != std::u16string_view::npos;
        if (!allows || inheritOnly || sid == u"S-1-3-0" || (*rights & kWriteRights) == 0)
            continue;
        bool writerTrusted = isTrusted(sid == kOwnerRights ? ownerSid : sid);
        if (!writerTrusted)
            return std::u16string(sid == kOwnerRights ? *owner : ace[5]);
    }
    // The owner may always change the access list, unless OWNER RIGHTS says otherwise.
    if (!isTrusted(ownerSid) && !ownerRightsListed)
        return std::u16string(*owner);
    return std::nullopt;
}

}  // namespace ze

namespace ze {

int RefuseUnsafeFolder(bool console) {
    char16_t module[MAX_PATH] = {};
    DWORD length = OS().GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::u16string executable(module, length < MAX_PATH ? length : 0);
    std::u16string folder = executable.substr(0, executable.find_last_of(u'\\'));
    std::vector<std::u16string> trusted = TrustedPrincipals();
    for (const std::u16string& path : {folder, executable, std::u16string(g_szZeCoInstDatPath),
                                       std::u16string(g_szZeRegionSvcIniPath)}) {
        std::u16string why = Unsafe(path, trusted);
        if (why.empty())
            continue;
        LogPrint(u"[ZeRegionSvc] Unsafe program folder, refused: %s: %s\r\n", path.c_str(),
                 why.c_str());
        if (console) {
            PrintError(u"ZeRegionSvc: " + path + u": " + why +
                       u".\r\nThe service runs this program as LocalSystem and trusts the files "
                       u"beside it: install it in a folder only SYSTEM and Administrators can "
                       u"write (Program Files, say). Nothing was changed.\r\n");
        }
        return ZE_EXIT_UNSAFE_FOLDER;
    }
    return 0;
}

}  // namespace ze
