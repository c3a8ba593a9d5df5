#include <fstream>

#include "platform/handles.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

class SimRegistryTest : public SimTest {
  protected:
    UniqueKey Open(const char16_t* path, REGSAM access = KEY_READ) {
        UniqueKey key;
        last_ = OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, key.put());
        return key;
    }
    std::vector<std::u16string> SubkeyNames(HKEY key) {
        std::vector<std::u16string> names;
        for (DWORD i = 0;; ++i) {
            char16_t name[256] = {};
            DWORD size = 256;
            if (OS().RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name, size);
        }
        return names;
    }
    LONG last_ = 0;
};

TEST_F(SimRegistryTest, SubkeysEnumerateSortedIgnoringCaseAndValuesInCreationOrder) {
    for (auto name : {u"b", u"A", u"c", u"B2"})
        Reg().Create(std::u16string(u"SOFTWARE\\T\\") + name);
    Reg().SetString(u"SOFTWARE\\T", u"1", u"one");
    Reg().SetString(u"SOFTWARE\\T", u"0", u"zero");
    UniqueKey key = Open(u"software\\t");
    ASSERT_EQ(last_, ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(key.get()), (std::vector<std::u16string>{u"A", u"b", u"B2", u"c"}));
    char16_t name[16];
    DWORD nameSize = 16;
    ASSERT_EQ(OS().RegEnumValueW(key.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"1");
    nameSize = 16;
    EXPECT_EQ(OS().RegEnumValueW(key.get(), 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(SimRegistryTest, QuerySizesAndErrorsFollowWindows) {
    Reg().SetString(u"SOFTWARE\\T", u"Text", u"abcd");  // 10 bytes with terminator
    UniqueKey key = Open(u"SOFTWARE\\T");
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(OS().RegQueryValueExW(key.get(), u"TEXT", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 10u);
    BYTE small[8] = {};
    size = sizeof small;
    EXPECT_EQ(OS().RegQueryValueExW(key.get(), u"Text", nullptr, &type, small, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(type, REG_SZ);
    BYTE exact[10] = {};
    size = sizeof exact;
    EXPECT_EQ(OS().RegQueryValueExW(key.get(), u"Text", nullptr, &type, exact, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::vector<BYTE>(exact, exact + 10), Utf16Bytes(u"abcd", true));
    size = sizeof exact;
    EXPECT_EQ(OS().RegQueryValueExW(key.get(), u"Missing", nullptr, &type, exact, &size),
              ERROR_FILE_NOT_FOUND);
    Open(u"SOFTWARE\\Missing");
    EXPECT_EQ(last_, ERROR_FILE_NOT_FOUND);
}

TEST_F(SimRegistryTest, EnumeratedNamesMustFitWithTheirTerminator) {
    Reg().Create(u"SOFTWARE\\T\\abcd");
    Reg().SetString(u"SOFTWARE\\T", u"wxyz", u"v");
    UniqueKey key = Open(u"SOFTWARE\\T");
    char16_t name[8] = {};
    DWORD size = 4;
    EXPECT_EQ(OS().RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    size = 5;
    EXPECT_EQ(OS().RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    size = 4;
    EXPECT_EQ(OS().RegEnumValueW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    BYTE data[2];
    DWORD dataSize = 2;
    size = 8;
    EXPECT_EQ(OS().RegEnumValueW(key.get(), 0, name, &size, nullptr, nullptr, data, &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 4u);
}

TEST_F(SimRegistryTest, StringTerminatorFollowingInMemoryIsStored) {
    UniqueKey key;
    ASSERT_EQ(OS().RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T", 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const char16_t terminated[] = u"ab";
    const char16_t unterminated[] = {u'a', u'b', u'c'};
    struct Case {
        const char16_t* name;
        DWORD type;
        const void* data;
        DWORD count;
        std::vector<BYTE> stored;
    };
    for (const Case& c : {
             Case{u"Sz", REG_SZ, terminated, 4, Utf16Bytes(u"ab", true)},
             Case{u"SzFollowed", REG_SZ, unterminated, 4, Utf16Bytes(u"ab")},
             Case{u"Empty", REG_SZ, terminated, 0, {}},
             Case{u"Binary", REG_BINARY, terminated, 4, Utf16Bytes(u"ab")},
             Case{u"Multi", REG_MULTI_SZ, terminated, 6, Utf16Bytes(u"ab", true)},
         }) {
        EXPECT_EQ(OS().RegSetValueExW(key.get(), c.name, 0, c.type,
                                      static_cast<const BYTE*>(c.data), c.count),
                  ERROR_SUCCESS);
        EXPECT_EQ(Value(u"SOFTWARE\\T", c.name)->data, c.stored) << Utf16ToUtf8(c.name);
    }
}

TEST_F(SimRegistryTest, DeletingRefusesKeysWithSubkeysAndStaleHandlesSeeTheDeletion) {
    Reg().Create(u"SOFTWARE\\T\\Child");
    UniqueKey child = Open(u"SOFTWARE\\T\\Child");
    EXPECT_EQ(OS().RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(OS().RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T\\Nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OS().RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"software\\t\\child"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(OS().RegQueryValueExW(child.get(), u"x", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    // A key made again at the same path is another key: the old handle stays stale.
    Reg().Create(u"SOFTWARE\\T\\Child");
    EXPECT_EQ(OS().RegQueryValueExW(child.get(), u"x", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(JournalLines(), std::vector<std::string>{"DeleteKey SOFTWARE\\T\\Child"});
}

TEST_F(SimRegistryTest, WithoutAdministratorRightsOnlyReadingIsAllowed) {
    Reg().SetString(u"SOFTWARE\\T", u"v", u"x");
    Sim().Settings().administrator = false;
    Open(u"SOFTWARE\\T", KEY_READ);
    EXPECT_EQ(last_, ERROR_SUCCESS);
    Open(u"SOFTWARE\\T", KEY_ALL_ACCESS);
    EXPECT_EQ(last_, ERROR_ACCESS_DENIED);
    UniqueKey readOnly = Open(u"SOFTWARE\\T", KEY_READ);
    const BYTE data[4] = {};
    EXPECT_EQ(OS().RegSetValueExW(readOnly.get(), u"v", 0, REG_DWORD, data, 4),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(OS().RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T"), ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace ze::testing
