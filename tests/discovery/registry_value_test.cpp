// Registry values read, written and deleted as text.
#include <windows.h>

#include <string>

#include "registry_value.h"
#include "test_machine.h"

namespace {

const char kKey[] = "SOFTWARE\\Values";

class RegistryValueTest : public zutest::MachineTest {
protected:
    static void Set(const char* name, DWORD type, const std::string& data) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, kKey, &key));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())));
        RegCloseKey(key);
    }
};

TEST_F(RegistryValueTest, ConvertsEveryTypeToText) {
    using std::string;
    struct Case {
        DWORD type;
        string data;
        const char* text;
    } cases[] = {
        {REG_SZ, string("1\0", 2), "1"},
        {REG_DWORD, string("\1\0\0\0", 4), "1"},
        {REG_DWORD, string(4, '\0'), "0"},
        {REG_DWORD, string(4, '\xff'), "4294967295"},
        {REG_MULTI_SZ, string("first\0second\0\0", 14), "first"},
        {REG_EXPAND_SZ, string("%SystemRoot%\\x\0", 15), "%SystemRoot%\\x"},
        {REG_BINARY, string("\1\0\0\0\7", 5), "1"},
        {REG_SZ, "no terminator", "no terminator"},
        {REG_SZ, string(), ""},
        // Shorter than four bytes: the bytes that are missing count as zero.
        {REG_BINARY, string("\x02\x01", 2), "258"},
        {REG_DWORD, string(), "0"},
        // Text filling the whole 100-byte area without a NUL: its first 99 characters.
        {REG_SZ, string(100, 'a'),
         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaaaaaaaaaaaaa"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string name = "v" + std::to_string(n++);
        SCOPED_TRACE(name);
        Set(name.c_str(), c.type, c.data);
        char text[100 + 8];
        std::memset(text, '#', sizeof text);
        ASSERT_EQ(0, ReadRegistryValue(HKEY_LOCAL_MACHINE, kKey, name.c_str(), text));
        EXPECT_STREQ(c.text, text);
        EXPECT_EQ('#', text[100]);  // never more than the 100 bytes promised
    }
}

TEST_F(RegistryValueTest, FailedReadsLeaveTheBufferAsItWas) {
    Set("Long", REG_SZ, std::string(149, 'x') + '\0');
    Set("Fits", REG_SZ, std::string(99, 'y') + '\0');
    struct Case {
        const char* key;
        const char* name;
    } cases[] = {{kKey, "Long"}, {kKey, "Missing"}, {"SOFTWARE\\Missing", "Fits"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char text[100] = "default";
        EXPECT_EQ(1, ReadRegistryValue(HKEY_LOCAL_MACHINE, c.key, c.name, text));
        EXPECT_STREQ("default", text);
    }
    char text[100];
    EXPECT_EQ(0, ReadRegistryValue(HKEY_LOCAL_MACHINE, kKey, "Fits", text));
    EXPECT_EQ(99u, std::strlen(text));
}

TEST_F(RegistryValueTest, WriteStoresTheBytesGivenAndCreatesTheKey) {
    const char data[] = "abcdefghijklmnopqrstu\0XYZ";
    ASSERT_EQ(
        0, WriteRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Values\\New\\Deep", "Text", data, 25));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Values\\New\\Deep", 0, KEY_READ, &key));
    BYTE stored[40];
    DWORD type = 0, size = sizeof stored;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Text", nullptr, &type, stored, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string(data, 25), std::string(reinterpret_cast<char*>(stored), size));
    char cls[16];
    DWORD clsSize = sizeof cls;
    RegQueryInfoKeyA(key, cls, &clsSize, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_STREQ("Bool", cls);
    RegCloseKey(key);

    // A path Windows refuses stores nothing.
    EXPECT_EQ(1, WriteRegistryValue(HKEY_LOCAL_MACHINE, "\\Bad", "Text", data, 4));
}

TEST_F(RegistryValueTest, DeleteRemovesOnlyWhatExists) {
    Set("Gone", REG_SZ, std::string("1\0", 2));
    EXPECT_EQ(0, DeleteRegistryValue(HKEY_LOCAL_MACHINE, kKey, "gone"));
    EXPECT_EQ(1, DeleteRegistryValue(HKEY_LOCAL_MACHINE, kKey, "Gone"));
    EXPECT_EQ(1, DeleteRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", "Gone"));
}

}  // namespace
