// The profile functions of the simulated machine. Expected answers are those of
// Wine's profile functions for the same files and calls (tests/probes/profile_probe.cpp
// runs them on both).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/sim/profile.h"
#include "sim_fixture.h"

namespace ze {
namespace {

using testing::SimTest;

constexpr char16_t kIni[] = u"C:\\probe\\t.ini";

// The file most reading cases run against.
const std::string kSample =
    "[Sec]\r\nKey=Value\r\n Spaced  =  padded value  \r\nQuoted=\"quoted value\"\r\n"
    "SQuoted='single'\r\nMixed=\"abc'\r\nHalfQ=\"abc\r\nEndQ=abc\"\r\nInner=a \"b\" c\r\n"
    "QSpace=  \" x \"  \r\nEmpty=\r\nNoEq\r\n;comment=1\r\n ;indented=2\r\n#hash=3\r\n"
    "Dup=first\r\ndup=second\r\nTab\t=\ttabbed\t\r\nEq=a=b\r\nEquals==x\r\n=novalue\r\n"
    "Trail=val ;comment\r\nQ1=\"\r\nQ2=\"\"\r\nMy Key=sp\r\n[sec]\r\nOther=fromsecond\r\n"
    "Key=second\r\n[ Spaced Section ]\r\nK=1\r\n[Sec2]x\r\nK=2\r\n[Unclosed\r\nK=3\r\n[]\r\n"
    "K=4\r\n  [Indented]\r\nK=5\r\n";

// A profile call's answer: the return value and as many characters of the buffer.
// Lists keep the terminator after each name; the final terminator is checked apart.
struct Answer {
    DWORD result;
    std::u16string text;
    bool operator==(const Answer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& answer) {
    std::u16string shown;
    for (char16_t c : answer.text)
        shown += c == u'\0' ? u'|' : c;
    return out << answer.result << " \"" << Utf16ToUtf8(shown) << "\"";
}

// Checks the terminator after the answer and returns the answer.
Answer Answered(const char16_t* buffer, DWORD size, DWORD result) {
    if (result < size) {
        EXPECT_EQ(buffer[result], u'\0') << "terminator after " << result;
    }
    return {result, std::u16string(buffer, std::min(result, size))};
}

class ProfileTest : public SimTest {
  protected:
    ProfileTest() { WriteBytes(kIni, kSample); }

    Answer Get(const char16_t* section, const char16_t* key, const char16_t* fallback,
               DWORD size = 200, const char16_t* file = kIni) {
        char16_t buffer[512];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        DWORD result = OS().GetPrivateProfileStringW(section, key, fallback, buffer, size, file);
        return Answered(buffer, size, result);
    }
    Answer Names(DWORD size, const char16_t* file = kIni) {
        char16_t buffer[512];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        DWORD result = OS().GetPrivateProfileSectionNamesW(buffer, size, file);
        return Answered(buffer, size, result);
    }
    BOOL Write(const char16_t* section, const char16_t* key, const char16_t* value,
               const char16_t* file = kIni) {
        return OS().WritePrivateProfileStringW(section, key, value, file);
    }
};

struct LookupCase {
    const char16_t* section;
    const char16_t* key;
    const char16_t* fallback;
    DWORD size;
    Answer expected;
};

TEST_F(ProfileTest, ValuesAreFoundTrimmedUnquotedAndCut) {
    const LookupCase cases[] = {
        // names: trimmed, any case; the first section and the first key of a name win
        {u"Sec", u"Key", u"def", 200, {5, u"Value"}},
        {u"SEC", u"KEY", u"def", 200, {5, u"Value"}},
        {u"Sec", u" Key ", u"def", 200, {5, u"Value"}},
        {u"Sec", u"Spaced", u"def", 200, {12, u"padded value"}},
        {u"Sec", u"Tab", u"def", 200, {6, u"tabbed"}},
        {u"Sec", u"My Key", u"def", 200, {2, u"sp"}},
        {u"Sec", u"Dup", u"def", 200, {5, u"first"}},
        {u"sec", u"Other", u"def", 200, {3, u"def"}},
        {u"Spaced Section", u"K", u"d", 200, {1, u"1"}},
        {u" Spaced Section ", u"K", u"d", 200, {1, u"1"}},
        {u"Sec2", u"K", u"d", 200, {1, u"2"}},  // text after the last ']' is ignored
        {u"Sec2]x", u"K", u"d", 200, {1, u"d"}},
        {u"Unclosed", u"K", u"d", 200, {1, u"d"}},  // "[Unclosed" is a key line
        {u"", u"K", u"d", 200, {1, u"d"}},          // "" is the part before any section
        {u"Indented", u"K", u"d", 200, {1, u"5"}},
        // one pair of matching quotes goes, single or double
        {u"Sec", u"Quoted", u"def", 200, {12, u"quoted value"}},
        {u"Sec", u"SQuoted", u"def", 200, {6, u"single"}},
        {u"Sec", u"Mixed", u"def", 200, {5, u"\"abc'"}},
        {u"Sec", u"HalfQ", u"def", 200, {4, u"\"abc"}},
        {u"Sec", u"EndQ", u"def", 200, {4, u"abc\""}},
        {u"Sec", u"Inner", u"def", 200, {7, u"a \"b\" c"}},
        {u"Sec", u"QSpace", u"def", 200, {3, u" x "}},
        {u"Sec", u"Q1", u"def", 200, {1, u"\""}},
        {u"Sec", u"Q2", u"def", 200, {0, u""}},
        // '=' and ';' inside values, comments and lines without '='
        {u"Sec", u"Eq", u"def", 200, {3, u"a=b"}},
        {u"Sec", u"Equals", u"def", 200, {2, u"=x"}},
        {u"Sec", u"", u"def", 200, {7, u"novalue"}},
        {u"Sec", u"Trail", u"def", 200, {12, u"val ;comment"}},
        {u"Sec", u";comment", u"def", 200, {1, u"1"}},
        {u"Sec", u";indented", u"def", 200, {1, u"2"}},
        {u"Sec", u"#hash", u"def", 200, {1, u"3"}},
        {u"Sec", u"NoEq", u"def", 200, {3, u"def"}},
        // a present empty value is empty; a missing one is the default, which loses
        // its trailing blanks and its quotes
        {u"Sec", u"Empty", u"def", 200, {0, u""}},
        {u"Sec", u"Missing", u"def", 200, {3, u"def"}},
        {u"NoSec", u"Key", u"def", 200, {3, u"def"}},
        {u"Sec", u"Missing", u"def  ", 200, {3, u"def"}},
        {u"Sec", u"Missing", u"  def", 200, {5, u"  def"}},
        {u"Sec", u"Missing", u"   ", 200, {1, u" "}},
        {u"Sec", u"Missing", u" \t ", 200, {2, u" \t"}},
        {u"Sec", u"Missing", u"\"qdef\"", 200, {4, u"qdef"}},
        {u"Sec", u"Missing", u"'x'  ", 200, {1, u"x"}},
        {u"Sec", u"Missing", nullptr, 200, {0, u""}},
        // cut to the buffer
        {u"Sec", u"Key", u"def", 6, {5, u"Value"}},
        {u"Sec", u"Key", u"def", 5, {4, u"Valu"}},
        {u"Sec", u"Key", u"def", 2, {1, u"V"}},
        {u"Sec", u"Key", u"def", 1, {0, u""}},
        {u"Sec", u"Missing", u"default", 4, {3, u"def"}},
        {u"Sec", u"Quoted", u"d", 14, {12, u"quoted value"}},
        {u"Sec", u"Quoted", u"d", 12, {11, u"quoted valu"}},
        {u"Sec", u"Quoted", u"d", 4, {3, u"quo"}},
        {u"Sec", u"Missing", u"\"quoted def\"", 5, {4, u"quot"}},
    };
    for (const LookupCase& c : cases) {
        EXPECT_EQ(Get(c.section, c.key, c.fallback, c.size), c.expected)
            << Utf16ToUtf8(c.section) << " / " << (c.key ? Utf16ToUtf8(c.key) : "NULL") << " size "
            << c.size;
        EXPECT_EQ(Sim().GetLastError(), 0u);
    }
}

TEST_F(ProfileTest, SizeZeroTouchesNoBuffer) {
    char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
    OS().SetLastError(0xDEAD);
    EXPECT_EQ(OS().GetPrivateProfileStringW(u"Sec", u"Key", u"def", buffer, 0, kIni), 0u);
    EXPECT_EQ(OS().GetLastError(), 0xDEADu);  // returns before opening the file
    EXPECT_EQ(OS().GetPrivateProfileSectionNamesW(buffer, 0, kIni), 0u);
    EXPECT_EQ(OS().GetLastError(), 0u);  // opens the file first
    EXPECT_EQ(buffer[0], u'#');
}

struct ListCase {
    const char16_t* section;  // nullptr: the section names
    const char16_t* fallback;
    DWORD size;
    Answer expected;
};

TEST_F(ProfileTest, KeyAndSectionListsEndInTwoTerminators) {
    const std::u16string keys = std::u16string(
        u"Key\0Spaced\0Quoted\0SQuoted\0Mixed\0HalfQ\0EndQ\0Inner\0QSpace\0"
        u"Empty\0#hash\0Dup\0dup\0Tab\0Eq\0Equals\0\0Trail\0Q1\0Q2\0My Key\0",
        110);
    const std::u16string names(u"Sec\0sec\0Spaced Section\0Sec2\0Indented\0", 37);
    const ListCase cases[] = {
        // comments and lines without '=' are left out; a nameless key is listed
        {u"Sec", u"def", 200, {110, keys}},
        {u"sec", u"def", 200, {110, keys}},
        {u"Sec", nullptr, 200, {110, keys}},
        // a list that does not fit is cut, ends in two terminators and answers size - 2
        {u"Sec", u"def", 10, {8, std::u16string(u"Key\0Spac", 8)}},
        // an empty answer gives way to the default (quotes removed, single terminator)
        {u"Sec", u"def", 2, {1, u"d"}},
        {u"Sec", u"def", 1, {0, u""}},
        {u"NoSec", u"def", 200, {3, u"def"}},
        {u" Sec ", u"def", 200, {3, u"def"}},  // the section name is not trimmed here
        {u"", u"def", 200, {3, u"def"}},
        {u"NoSec", u"\"q\"", 200, {1, u"q"}},
        // no section: the section names, without the nameless ones
        {nullptr, u"def", 200, {37, names}},
        {nullptr, u"def", 39, {37, names}},
        {nullptr, u"def", 38, {36, names.substr(0, 36)}},  // only the final terminator missed room
        {nullptr, u"def", 37, {35, std::u16string(u"Sec\0sec\0Spaced Section\0Sec2\0Indente", 35)}},
        {nullptr, u"def", 10, {8, std::u16string(u"Sec\0sec\0", 8)}},
        {nullptr, u"def", 7, {5, std::u16string(u"Sec\0s", 5)}},
        {nullptr, u"def", 6, {4, std::u16string(u"Sec\0", 4)}},
        {nullptr, u"def", 5, {3, u"Sec"}},
        {nullptr, u"def", 2, {0, u""}},
        {nullptr, u"def", 1, {0, u""}},
    };
    for (const ListCase& c : cases) {
        Answer got = Get(c.section, nullptr, c.fallback, c.size);
        EXPECT_EQ(got, c.expected)
            << (c.section ? Utf16ToUtf8(c.section) : "NULL") << " size " << c.size;
        if (c.section == nullptr) {
            EXPECT_EQ(Names(c.size), c.expected) << "size " << c.size;
        }
    }
}

TEST_F(ProfileTest, KeyListsOfUnusualSections) {
    WriteBytes(kIni, "k0=top\r\n[E]\r\n=x\r\nb=2\r\n[F]\r\nNoEq\r\n;c=1\r\n[A]\r\nx=1\r\ny=2\r\n");
    EXPECT_EQ(Get(u"E", nullptr, u"def"), (Answer{3, u"def"}));  // starts with a nameless key
    EXPECT_EQ(Get(u"F", nullptr, u"def"), (Answer{3, u"def"}));
    EXPECT_EQ(Get(u"", u"k0", u"d"), (Answer{3, u"top"}));
    EXPECT_EQ(Get(u"A", nullptr, u"def", 5), (Answer{3, std::u16string(u"x\0y", 3)}));
    EXPECT_EQ(Get(u"A", nullptr, u"def", 6), (Answer{4, std::u16string(u"x\0y\0", 4)}));
    EXPECT_EQ(Names(100), (Answer{6, std::u16string(u"E\0F\0A\0", 6)}));
}

TEST_F(ProfileTest, MissingFilesAndFoldersGiveTheDefault) {
    const char16_t missing[] = u"C:\\probe\\missing.ini";
    const char16_t noFolder[] = u"C:\\nodir\\missing.ini";
    EXPECT_EQ(Get(u"Sec", u"Key", u"\"def\"", 200, missing), (Answer{3, u"def"}));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Names(100, missing), (Answer{0, u""}));
    EXPECT_EQ(OS().GetPrivateProfileIntW(u"Sec", u"Key", 7, missing), 7u);
    // A file that cannot be opened answers the default with its quotes.
    EXPECT_EQ(Get(u"Sec", u"Key", u"\"qd\"", 200, noFolder), (Answer{4, u"\"qd\""}));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Get(u"Sec", nullptr, u"\"qd\"", 200, noFolder), (Answer{2, u"qd"}));
    char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(OS().GetPrivateProfileSectionNamesW(buffer, 4, noFolder), 0u);
    EXPECT_EQ(buffer[0], u'#');
    // A folder is no file.
    EXPECT_EQ(Get(u"Sec", u"Key", u"d", 200, u"C:\\probe"), (Answer{1, u"d"}));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(ProfileTest, IntegersAreReadLikeRtlUnicodeStringToInteger) {
    WriteBytes(kIni,
               "[Int]\r\nA=123\r\nB=-5\r\nC= 42 \r\nD=0x10\r\nE=abc\r\nF=\r\nG=12abc\r\nH=+7\r\n"
               "I=4294967295\r\nJ=99999999999\r\nK=-2147483649\r\nL=0x\r\nM= 0X1f\r\nN=010\r\n"
               "O=1e3\r\nP=\"5\"\r\nQ=  -  3\r\nR=2147483648\r\nS=0xFFFFFFFF\r\nT=0x1g\r\n"
               "U=-0x10\r\nV=\t9\r\nW=\"\"\r\nX=0xABCDEF012\r\n"
               "Y=000000000000000000000000000001234\r\nZ=\" 5\"\r\nBin=0b101\r\nOct=0o17\r\n"
               "QHex=\"-0x10\"\r\nMinus2=--1\r\nPlusMinus=+-1\r\nMax=0x7fffffff\r\nWide="
               "\xEF\xBC\x91\r\nSpace=1 2\r\n");
    const std::pair<const char16_t*, UINT> cases[] = {
        {u"A", 123},
        {u"B", 0xFFFFFFFB},
        {u"C", 42},
        {u"D", 16},
        {u"E", 0},
        {u"F", 77},  // an empty value gives the default
        {u"G", 12},
        {u"H", 7},
        {u"I", 0xFFFFFFFF},
        {u"J", 1215752191},
        {u"K", 2147483647},
        {u"L", 0},
        {u"M", 0},  // only a lower-case prefix
        {u"N", 10},
        {u"O", 1},
        {u"P", 5},
        {u"Q", 0},
        {u"R", 0x80000000},
        {u"S", 0xFFFFFFFF},
        {u"T", 1},
        {u"U", 0xFFFFFFF0},
        {u"V", 9},
        {u"W", 77},
        {u"X", 0xBCDEF012},
        {u"Y", 0},  // read through 30 characters: the digits after them are lost
        {u"Z", 5},
        {u"Bin", 5},
        {u"Oct", 15},
        {u"QHex", 0xFFFFFFF0},
        {u"Minus2", 0},
        {u"PlusMinus", 0},
        {u"Max", 0x7FFFFFFF},
        {u"Wide", 0},
        {u"Space", 1},
        {u"Missing", 77},
    };
    for (const auto& [key, expected] : cases) {
        EXPECT_EQ(OS().GetPrivateProfileIntW(u"Int", key, 77, kIni), expected) << Utf16ToUtf8(key);
    }
    EXPECT_EQ(OS().GetPrivateProfileIntW(u"NoSec", u"A", -3, kIni), static_cast<UINT>(-3));
    EXPECT_EQ(OS().GetPrivateProfileIntW(u"Int", nullptr, 77, kIni), 0u);
}

// Each step's file as Wine leaves it (for files Wine and Windows write alike).
struct WriteStep {
    const char16_t* section;
    const char16_t* key;
    const char16_t* value;
    BOOL result;
    std::string file;
};

TEST_F(ProfileTest, WritesCreateReplaceAndDelete) {
    const char16_t file[] = u"C:\\probe\\new.ini";
    const WriteStep steps[] = {
        {u"Sec", u"Key", u"v", TRUE, "[Sec]\r\nKey=v\r\n"},
        // leading blanks of a value are dropped, trailing ones written
        {u"Sec", u"Key2", u"  lead and trail  ", TRUE,
         "[Sec]\r\nKey=v\r\nKey2=lead and trail  \r\n"},
        {u"sec", u"KEY", u"new", TRUE, "[Sec]\r\nKey=new\r\nKey2=lead and trail  \r\n"},
        // new names lose their leading blanks only
        {u" New Section ", u" spaced key ", u"x", TRUE,
         "[Sec]\r\nKey=new\r\nKey2=lead and trail  \r\n[New Section ]\r\nspaced key =x\r\n"},
        {u"Sec", u"Key", u"new", TRUE,
         "[Sec]\r\nKey=new\r\nKey2=lead and trail  \r\n[New Section ]\r\nspaced key =x\r\n"},
        {u"Sec", u"Key2", nullptr, TRUE, "[Sec]\r\nKey=new\r\n[New Section ]\r\nspaced key =x\r\n"},
        {u"Sec", u"Nope", nullptr, TRUE, "[Sec]\r\nKey=new\r\n[New Section ]\r\nspaced key =x\r\n"},
        {u"Sec", u"Key3", u"", TRUE,
         "[Sec]\r\nKey=new\r\nKey3=\r\n[New Section ]\r\nspaced key =x\r\n"},
        {u"New Section", nullptr, nullptr, TRUE, "[Sec]\r\nKey=new\r\nKey3=\r\n"},
        {u"Nope", nullptr, nullptr, TRUE, "[Sec]\r\nKey=new\r\nKey3=\r\n"},
        {nullptr, u"k", u"v", FALSE, "[Sec]\r\nKey=new\r\nKey3=\r\n"},
        {nullptr, nullptr, nullptr, FALSE, "[Sec]\r\nKey=new\r\nKey3=\r\n"},
        // text goes out in the file's code page
        {u"Uni", u"U", u"\u00E9\u65E5\u20AC", TRUE,
         "[Sec]\r\nKey=new\r\nKey3=\r\n[Uni]\r\nU=\xE9?\x80\r\n"},
        {u"Sec", nullptr, nullptr, TRUE, "[Uni]\r\nU=\xE9?\x80\r\n"},
        {u"", u"top", u"1", TRUE, "top=1\r\n[Uni]\r\nU=\xE9?\x80\r\n"},
    };
    for (const WriteStep& step : steps) {
        EXPECT_EQ(Write(step.section, step.key, step.value, file), step.result)
            << (step.section ? Utf16ToUtf8(step.section) : "NULL") << " "
            << (step.key ? Utf16ToUtf8(step.key) : "NULL");
        EXPECT_EQ(ReadBytes(file), step.file);
    }
    EXPECT_EQ(Get(u"Uni", u"U", u"d", 200, file), (Answer{3, u"\u00E9?\u20AC"}));
    EXPECT_EQ(Sim().GetLastError(), 0u);
}

TEST_F(ProfileTest, WritesKeepEveryOtherLineAsItWas) {
    // Blank lines, spacing and comments stay (Wine, unlike Windows, rewrites the
    // whole file from its parsed form and drops blank lines).
    WriteBytes(kIni,
               "; top comment\r\n\r\n[A]\r\n  k1 = v1  \r\n; inner\r\n\r\nNoEq\r\n\r\n[B]\n"
               "k=1\n\n\n[A]\r\nk9=dup\r\n");
    const WriteStep steps[] = {
        {u"A", u"k2", u"v2", TRUE,
         "; top comment\r\n\r\n[A]\r\n  k1 = v1  \r\n; inner\r\n\r\nNoEq\r\nk2=v2\r\n\r\n[B]\n"
         "k=1\n\n\n[A]\r\nk9=dup\r\n"},
        {u"A", u"k1", u"changed", TRUE,
         "; top comment\r\n\r\n[A]\r\nk1=changed\r\n; inner\r\n\r\nNoEq\r\nk2=v2\r\n\r\n[B]\n"
         "k=1\n\n\n[A]\r\nk9=dup\r\n"},
        {u"B", u"k", u"2", TRUE,
         "; top comment\r\n\r\n[A]\r\nk1=changed\r\n; inner\r\n\r\nNoEq\r\nk2=v2\r\n\r\n[B]\n"
         "k=2\n\n\n[A]\r\nk9=dup\r\n"},
        {u"A", u"NoEq", u"now", TRUE,
         "; top comment\r\n\r\n[A]\r\nk1=changed\r\n; inner\r\n\r\nNoEq=now\r\nk2=v2\r\n\r\n"
         "[B]\nk=2\n\n\n[A]\r\nk9=dup\r\n"},
        // the first section of a name takes new keys; deleting finds the key where it is
        {u"A", u"k9", u"x", TRUE,
         "; top comment\r\n\r\n[A]\r\nk1=changed\r\n; inner\r\n\r\nNoEq=now\r\nk2=v2\r\nk9=x\r\n"
         "\r\n[B]\nk=2\n\n\n[A]\r\nk9=dup\r\n"},
        {u"a", u"k9", nullptr, TRUE,
         "; top comment\r\n\r\n[A]\r\nk1=changed\r\n; inner\r\n\r\nNoEq=now\r\nk2=v2\r\n\r\n"
         "[B]\nk=2\n\n\n[A]\r\nk9=dup\r\n"},
        {u"a", u"k9", nullptr, TRUE,
         "; top comment\r\n\r\n[A]\r\nk1=changed\r\n; inner\r\n\r\n"
         "NoEq=now\r\nk2=v2\r\n\r\n[B]\nk=2\n\n\n[A]\r\n"},
        {u"A", nullptr, nullptr, TRUE, "; top comment\r\n\r\n[B]\nk=2\n\n\n[A]\r\n"},
        {u"C", u"c", u"3", TRUE, "; top comment\r\n\r\n[B]\nk=2\n\n\n[A]\r\n[C]\r\nc=3\r\n"},
    };
    for (const WriteStep& step : steps) {
        EXPECT_EQ(Write(step.section, step.key, step.value), step.result);
        EXPECT_EQ(ReadBytes(kIni), step.file);
    }
}

TEST_F(ProfileTest, LineBreaksOfAllKindsAndAMissingLastOne) {
    WriteBytes(kIni, "[A]\nk=1\n[B]\rx=2\r");
    EXPECT_EQ(Get(u"A", u"k", u"d"), (Answer{1, u"1"}));
    EXPECT_EQ(Get(u"B", u"x", u"d"), (Answer{1, u"2"}));
    WriteBytes(kIni, "[A]\r\nk=1");
    EXPECT_TRUE(Write(u"A", u"j", u"2"));
    EXPECT_EQ(ReadBytes(kIni), "[A]\r\nk=1\r\nj=2\r\n");
    WriteBytes(kIni, "[A]\r\nk=1");
    EXPECT_TRUE(Write(u"B", u"j", u"2"));
    EXPECT_EQ(ReadBytes(kIni), "[A]\r\nk=1\r\n[B]\r\nj=2\r\n");
    WriteBytes(kIni, "[A]\r\nk=1");
    EXPECT_TRUE(Write(u"A", u"k", u"3"));
    EXPECT_EQ(ReadBytes(kIni), "[A]\r\nk=3");
}

struct EncodingCase {
    std::string before;
    const char16_t* readValue;
    std::string after;  // after writing [S] N=é
};

TEST_F(ProfileTest, FilesKeepTheirEncoding) {
    const std::string utf16le("\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0\x1A\x04\x1B\x04\r\0\n\0", 24);
    const std::string utf16be("\xFE\xFF\0[\0S\0]\0\r\0\n\0K\0=\0v\0\r\0\n", 22);
    const EncodingCase cases[] = {
        {utf16le, u"\u041A\u041B", utf16le + std::string("N\0=\0\xE9\0\r\0\n\0", 10)},
        {utf16be, u"v", utf16be + std::string("\0N\0=\0\xE9\0\r\0\n", 10)},
        // Windows knows no UTF-8 mark: its bytes start line 1, which is then no header
        {"\xEF\xBB\xBF[S]\r\nK=\xC3\xA9\r\n", u"d",
         "\xEF\xBB\xBF[S]\r\nK=\xC3\xA9\r\n[S]\r\nN=\xE9\r\n"},
        // without a byte-order mark the file is ANSI (Windows-1252), UTF-8 or not
        {"[S]\r\nK=\xC3\xA9\x80\r\n", u"\u00C3\u00A9\u20AC", "[S]\r\nK=\xC3\xA9\x80\r\nN=\xE9\r\n"},
        {"", nullptr, "[S]\r\nN=\xE9\r\n"},
    };
    for (const EncodingCase& c : cases) {
        WriteBytes(kIni, c.before);
        if (c.readValue != nullptr) {
            EXPECT_EQ(Get(u"S", u"K", u"d").text, c.readValue);
        }
        EXPECT_TRUE(Write(u"S", u"N", u"\u00E9"));
        EXPECT_EQ(ReadBytes(kIni), c.after);
        EXPECT_EQ(Get(u"S", u"N", u"d"), (Answer{1, u"\u00E9"}));
    }
    // UTF-16 without a byte-order mark is misread as ANSI text.
    WriteBytes(kIni, std::string("[\0S\0]\0\r\0\n\0K\0=\0v\0\r\0\n\0", 20));
    EXPECT_EQ(Get(u"S", u"K", u"d"), (Answer{1, u"d"}));
    EXPECT_EQ(Names(100), (Answer{0, u""}));
}

TEST_F(ProfileTest, BareFileNamesLiveInTheWindowsFolder) {
    EXPECT_TRUE(Write(u"S", u"K", u"rel", u"zeprobe_rel.ini"));
    EXPECT_EQ(ReadBytes(u"C:\\windows\\zeprobe_rel.ini"), "[S]\r\nK=rel\r\n");
    EXPECT_EQ(Get(u"S", u"K", u"d", 200, u"ZEPROBE_REL.INI"), (Answer{3, u"rel"}));
}

TEST_F(ProfileTest, WritesThatCannotHappenFailAndChangeNothing) {
    // deleting in a file that does not exist succeeds without creating it
    EXPECT_TRUE(Write(u"Sec", nullptr, nullptr, u"C:\\probe\\never.ini"));
    EXPECT_TRUE(Write(u"Sec", u"k", nullptr, u"C:\\probe\\never.ini"));
    EXPECT_FALSE(FileExists(u"C:\\probe\\never.ini"));

    EXPECT_FALSE(Write(u"Sec", u"k", u"v", u"C:\\nodir\\x.ini"));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    EXPECT_FALSE(Write(nullptr, u"k", u"v"));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    Sim().SetReadOnly(kIni, true);
    EXPECT_FALSE(Write(u"Sec", u"Key", u"other"));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Get(u"Sec", u"Key", u"d"), (Answer{5, u"Value"}));  // reading still works
    Sim().SetReadOnly(kIni, false);

    HANDLE held = OS().CreateFileW(kIni, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Write(u"Sec", u"Key", u"other"));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Get(u"Sec", u"Key", u"d"), (Answer{5, u"Value"}));
    OS().CloseHandle(held);

    Sim().InjectFault(Call::WritePrivateProfileStringW, 0, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Write(u"Sec", u"Key", u"other"));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    Sim().ClearFaults();
    EXPECT_EQ(ReadBytes(kIni), kSample);
    // Only the calls that succeeded are journaled.
    EXPECT_EQ(JournalLines(), (std::vector<std::string>{
                                  "DeleteProfileSection C:\\probe\\never.ini Sec",
                                  "DeleteProfileKey C:\\probe\\never.ini Sec\\k",
                              }));
}

TEST_F(ProfileTest, InjectedReadFaultsAnswerTheDefault) {
    Sim().InjectFault(Call::GetPrivateProfileStringW, 2, ERROR_SHARING_VIOLATION);
    Sim().InjectFault(Call::GetPrivateProfileIntW, 0, ERROR_SHARING_VIOLATION);
    Sim().InjectFault(Call::GetPrivateProfileSectionNamesW, 0, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Get(u"Sec", u"Key", u"def"), (Answer{5, u"Value"}));
    EXPECT_EQ(Get(u"Sec", u"Key", u"def"), (Answer{3, u"def"}));
    EXPECT_EQ(Sim().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Get(u"Sec", u"Key", u"def"), (Answer{5, u"Value"}));
    EXPECT_EQ(OS().GetPrivateProfileIntW(u"Sec", u"Key", 9, kIni), 9u);
    char16_t untouched[2] = {u'#', u'#'};
    EXPECT_EQ(OS().GetPrivateProfileSectionNamesW(untouched, 2, kIni), 0u);
    EXPECT_EQ(untouched[0], u'#');
}

TEST_F(ProfileTest, EveryWriteIsJournaled) {
    EXPECT_TRUE(Write(u"Sec", u"Key", u"Value"));  // unchanged, still the program's write
    EXPECT_TRUE(Write(u"DriverKey", u"NetID", u"0007"));
    EXPECT_TRUE(Write(u"Sec", u"Dup", nullptr));
    EXPECT_TRUE(Write(u"sec", nullptr, nullptr));
    EXPECT_TRUE(Write(u"S", u"K", u"v", u"rel.ini"));
    EXPECT_EQ(JournalLines(), (std::vector<std::string>{
                                  "WriteProfileString C:\\probe\\t.ini Sec\\Key=Value",
                                  "WriteProfileString C:\\probe\\t.ini DriverKey\\NetID=0007",
                                  "DeleteProfileKey C:\\probe\\t.ini Sec\\Dup",
                                  "DeleteProfileSection C:\\probe\\t.ini sec",
                                  "WriteProfileString C:\\windows\\rel.ini S\\K=v",
                              }));
    auto entries = Sim().JournalOf().Entries();
    EXPECT_EQ(entries[1].data, testing::Utf16Bytes(u"0007"));
}

// ---- a change made between two calls is always seen ----

void RewriteKeepingSizeAndTime(const std::filesystem::path& host, const std::string& bytes) {
    auto time = std::filesystem::last_write_time(host);
    std::ofstream(host, std::ios::binary | std::ios::trunc) << bytes;
    std::filesystem::last_write_time(host, time);
}

TEST_F(ProfileTest, ChangesBetweenTwoCallsAreAlwaysSeen) {
    EXPECT_EQ(Get(u"Sec", u"Key", u"d"), (Answer{5, u"Value"}));
    EXPECT_TRUE(Write(u"Sec", u"Key", u"Other"));
    EXPECT_EQ(Get(u"Sec", u"Key", u"d"), (Answer{5, u"Other"}));

    // Another writer, same size, same modification time, at once.
    std::string changed = ReadBytes(kIni);
    changed.replace(changed.find("Other"), 5, "Third");
    RewriteKeepingSizeAndTime(Sim().HostPath(kIni), changed);
    EXPECT_EQ(Get(u"Sec", u"Key", u"d"), (Answer{5, u"Third"}));
    EXPECT_EQ(OS().GetPrivateProfileIntW(u"Sec", u"Key", 4, kIni), 0u);

    std::filesystem::remove(Sim().HostPath(kIni));
    EXPECT_EQ(Get(u"Sec", u"Key", u"d"), (Answer{1, u"d"}));
}

TEST(ProfileCacheTest, ATrustedStampStillSeesEveryChange) {
    auto dir =
        std::filesystem::temp_directory_path() / ("zeregion-cache-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto file = dir / "a.ini";
    std::ofstream(file, std::ios::binary) << "[A]\r\nk=1\r\n";
    // Settling at once trusts the stamp from the first read on.
    sim::profile::DocumentCache cache(std::chrono::nanoseconds(0));
    LONG error = 0;
    auto first = cache.Load(file, &error);
    ASSERT_TRUE(first);
    EXPECT_EQ(cache.Load(file, &error), first);  // unchanged: the same parse
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    RewriteKeepingSizeAndTime(file, "[A]\r\nk=2\r\n");  // the change time moves on anyway
    auto second = cache.Load(file, &error);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->Value(u"A", u"k"), std::u16string_view(u"2"));

    // An unsettled stamp is never trusted: the bytes are compared on every load.
    sim::profile::DocumentCache careful(std::chrono::hours(1));
    auto parsed = careful.Load(file, &error);
    EXPECT_EQ(careful.Load(file, &error), parsed);
    RewriteKeepingSizeAndTime(file, "[A]\r\nk=3\r\n");
    EXPECT_EQ(careful.Load(file, &error)->Value(u"A", u"k"), std::u16string_view(u"3"));
    std::filesystem::remove_all(dir);
}

// ---- the engine on its own ----

TEST(ProfileDocumentTest, UntouchedFilesSerialiseToTheSameBytes) {
    const std::string files[] = {
        kSample,
        "",
        "no line break",
        "[A]\n\n\r\r\n  k = v  \t\r\n\x1A",
        "\xEF\xBB\xBF[S]\r\nK=\xC3\xA9\r\n",
        std::string("\xFF\xFE[\0S\0]\0\n\0", 10),
        std::string("\xFE\xFF\0[\0S\0]\0\n", 10),
        "[\x80\x81\x8D\x8F\x90\x9D\xFF]\r\n",
    };
    for (const std::string& bytes : files) {
        EXPECT_EQ(sim::profile::Document::Parse(bytes).Serialise(), bytes);
    }
}

TEST(ProfileDocumentTest, NulEndsNamesAndValues) {
    auto document = sim::profile::Document::Parse(std::string("[A\0x]\nk\0y=v\0z\n", 15));
    EXPECT_EQ(document.SectionNames(), (std::vector<std::u16string_view>{u"A"}));
    EXPECT_EQ(document.Value(u"A", u"k"), std::u16string_view(u"v"));
}

}  // namespace
}  // namespace ze
