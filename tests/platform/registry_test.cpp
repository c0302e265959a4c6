// The registry functions as system code calls them, on a fresh machine per test.
#include <windows.h>

#include <string>
#include <vector>

#include "machine/registry_store.h"
#include "test_machine.h"

namespace {

class RegistryTest : public zutest::MachineTest {
protected:
    // A key below HKEY_LOCAL_MACHINE\SOFTWARE\Test, made with all rights.
    HKEY Create(const char* path, const char* cls = "") {
        HKEY key = nullptr;
        std::string sub = std::string("SOFTWARE\\Test\\") + path;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, const_cast<LPSTR>(cls),
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        return key;
    }
    static void SetText(HKEY key, const char* name, const char* data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), size));
    }
    static std::string ClassOf(HKEY key) {
        char cls[64] = "";
        DWORD size = sizeof cls;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryInfoKeyA(key, cls, &size, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr));
        return cls;
    }
    static std::vector<std::string> Subkeys(HKEY key) {
        std::vector<std::string> names;
        char name[256];
        LONG rc;
        for (DWORD i = 0; (rc = RegEnumKeyA(key, i, name, sizeof name)) == ERROR_SUCCESS; ++i)
            names.push_back(name);
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, rc);
        return names;
    }
};

TEST_F(RegistryTest, CreateReportsDispositionAndGivesEveryNewKeyTheClass) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    char bool_[] = "Bool";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Nest\\L1\\L2\\L3", 0, bool_,
                                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                             &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    RegCloseKey(key);

    char other[] = "Other";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "nest\\l1\\l2\\l3", 0, other,
                                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                             &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_EQ("Bool", ClassOf(key));  // a class is fixed when the key is made
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Nest\\L1", 0, KEY_READ, &key));
    EXPECT_EQ("Bool", ClassOf(key));

    // A class buffer too short gets what fits.
    char cls[3] = "xx";
    DWORD size = sizeof cls;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryInfoKeyA(key, cls, &size, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Bo", cls);
    EXPECT_EQ(2u, size);
    RegCloseKey(key);

    // HKEY_CURRENT_USER is the current user's key of HKEY_USERS.
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_USERS, ".DEFAULT\\Nest\\L1\\L2\\L3", 0, KEY_READ, &key));
    RegCloseKey(key);
}

TEST_F(RegistryTest, QueryGivesExactBytesAndLeavesShortBuffersAlone) {
    HKEY key = Create("Query");
    const char text[] = "abcdefghijklmnopqrstu\0XXX";  // 21 characters, NUL, 3 more bytes
    SetText(key, "Long", text, 25);
    SetText(key, "Exact", text, 21);  // no NUL stored

    unsigned char buf[40];
    std::memset(buf, '#', sizeof buf);
    DWORD type = 0, size = sizeof buf;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "long", nullptr, &type, buf, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(25u, size);
    EXPECT_EQ(0, std::memcmp(buf, text, 25));
    EXPECT_EQ(0, buf[25]);  // text without a NUL at its end gets one beyond the size

    for (DWORD room : {21u, 22u}) {
        std::memset(buf, '#', sizeof buf);
        size = room;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Exact", nullptr, &type, buf, &size));
        EXPECT_EQ(21u, size);
        EXPECT_EQ(room == 22 ? '\0' : '#', buf[21]);  // the NUL only where there is room
    }

    // A buffer one byte short: ERROR_MORE_DATA, the size needed, the buffer untouched.
    std::memset(buf, '#', sizeof buf);
    size = 24;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Long", nullptr, &type, buf, &size));
    EXPECT_EQ(25u, size);
    for (unsigned char c : buf) EXPECT_EQ('#', c);

    // No data buffer: type and size only.
    type = 0;
    size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Long", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(25u, size);

    // A missing value: type and size both 0.
    type = 7;
    size = 9;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "None", nullptr, &type, buf, &size));
    EXPECT_EQ(0u, type);
    EXPECT_EQ(0u, size);
    RegCloseKey(key);
}

TEST_F(RegistryTest, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
    HKEY key = Create("Names");
    SetText(key, "MixedCase", "one", 4);
    SetText(key, "MIXEDCASE", "two", 4);
    char name[32];
    DWORD nameSize = sizeof name;
    char data[8];
    DWORD dataSize = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(data), &dataSize));
    EXPECT_STREQ("MixedCase", name);
    EXPECT_STREQ("two", data);
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));

    HKEY sub;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, "SubKey", &sub));
    RegCloseKey(sub);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, "SUBKEY", &sub));
    RegCloseKey(sub);
    EXPECT_EQ(std::vector<std::string>{"SubKey"}, Subkeys(key));
    RegCloseKey(key);
}

TEST_F(RegistryTest, SubkeysEnumerateByUpperCasedNameAndValuesInTheOrderSet) {
    HKEY key = Create("Order");
    for (const char* name : {"b", "A", "c", "_u", "Z", "a1", "10", "9"}) {
        HKEY sub;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, name, &sub));
        RegCloseKey(sub);
        SetText(key, name, "", 1);
    }
    EXPECT_EQ((std::vector<std::string>{"10", "9", "A", "a1", "b", "c", "Z", "_u"}), Subkeys(key));
    std::vector<std::string> values;
    char name[16];
    DWORD size = sizeof name;
    for (DWORD i = 0;
         RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name)
        values.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"b", "A", "c", "_u", "Z", "a1", "10", "9"}), values);

    // A name buffer too short leaves it as it was.
    char tiny[1] = {'#'};
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyA(key, 0, tiny, sizeof tiny));
    EXPECT_EQ('#', tiny[0]);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumValueReportsWhatDoesNotFit) {
    struct Case {
        int nameLength;
        DWORD type;
        int dataLength;
        bool dataBuffer;
        LONG result;
        DWORD nameSizeOut;
        DWORD dataSizeOut;
        bool nameWritten;  // whole or cut
        bool dataWritten;
    };
    // Name buffer 33 characters, data buffer 33 bytes.
    const Case cases[] = {
        {40, REG_BINARY, 6, true, ERROR_MORE_DATA, 33, 6, true, true},
        {33, REG_BINARY, 2, true, ERROR_MORE_DATA, 33, 2, true, true},
        {32, REG_BINARY, 2, true, ERROR_SUCCESS, 32, 2, true, true},
        {5, REG_SZ, 40, true, ERROR_MORE_DATA, 33, 40, false, false},
        {3, REG_SZ, 33, true, ERROR_SUCCESS, 3, 33, true, true},
        {5, REG_BINARY, 40, true, ERROR_MORE_DATA, 33, 40, false, false},
        {40, REG_BINARY, 40, true, ERROR_MORE_DATA, 33, 40, false, false},
        {5, REG_BINARY, 40, false, ERROR_SUCCESS, 5, 40, true, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << n);
        HKEY key = Create(("Enum" + std::to_string(n++)).c_str());
        std::string name(static_cast<size_t>(c.nameLength), 'n');
        std::string data(static_cast<size_t>(c.dataLength), 'd');
        if (c.type == REG_SZ) data.back() = '\0';
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name.c_str(), 0, c.type,
                                                reinterpret_cast<const BYTE*>(data.data()),
                                                static_cast<DWORD>(data.size())));
        char nameBuf[33];
        unsigned char dataBuf[33];
        std::memset(nameBuf, '#', sizeof nameBuf);
        std::memset(dataBuf, '#', sizeof dataBuf);
        DWORD nameSize = sizeof nameBuf, dataSize = sizeof dataBuf;
        EXPECT_EQ(c.result, RegEnumValueA(key, 0, nameBuf, &nameSize, nullptr, nullptr,
                                          c.dataBuffer ? dataBuf : nullptr, &dataSize));
        EXPECT_EQ(c.nameSizeOut, nameSize);
        EXPECT_EQ(c.dataSizeOut, dataSize);
        EXPECT_EQ(c.nameWritten, nameBuf[0] == 'n');
        if (c.nameWritten) {
            EXPECT_EQ(std::min<size_t>(name.size(), 32), std::strlen(nameBuf));
        }
        EXPECT_EQ(c.dataWritten, dataBuf[0] == 'd');
        RegCloseKey(key);
    }
}

TEST_F(RegistryTest, SubkeyPaths) {
    HKEY key = Create("Path\\Inner");
    RegCloseKey(key);
    struct Case {
        HKEY root;
        const char* path;
        LONG result;
    } cases[] = {
        {HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Test", ERROR_BAD_PATHNAME},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Path\\", ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "software\\\\test\\path\\inner", ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "SOFTWARE/Test", ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", ERROR_FILE_NOT_FOUND},
        {HKEY_CLASSES_ROOT, "\\", ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        key = nullptr;
        EXPECT_EQ(c.result, RegOpenKeyExA(c.root, c.path, 0, KEY_READ, &key));
        if (key) RegCloseKey(key);
    }
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyA(HKEY_CURRENT_USER, "\\Software", &key));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExA(HKEY_CURRENT_USER, "\\Software\\Made", 0, nullptr,
                                                  0, KEY_ALL_ACCESS, nullptr, &key, nullptr));

    // An empty subkey: a predefined key comes back itself, RegOpenKeyA gives back the handle
    // it was given, RegOpenKeyExA a new handle to the same key.
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key));
    EXPECT_EQ(HKEY_CURRENT_USER, key);
    HKEY inner = Create("Path");
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(inner, "", &key));
    EXPECT_EQ(inner, key);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(inner, nullptr, 0, KEY_READ, &key));
    EXPECT_NE(inner, key);
    EXPECT_EQ(std::vector<std::string>{"Inner"}, Subkeys(key));
    RegCloseKey(key);
    RegCloseKey(inner);
}

TEST_F(RegistryTest, AccessRightsAreCheckedAgainstTheOperation) {
    HKEY made = Create("Rights");
    SetText(made, "v", "x", 2);
    RegCloseKey(made);
    const BYTE x[] = "x";
    struct Case {
        REGSAM access;
        LONG query, set, create, enumerate, deleteValue;
    } cases[] = {
        {KEY_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS,
         ERROR_ACCESS_DENIED},
        {KEY_WRITE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED,
         ERROR_SUCCESS},
        {KEY_QUERY_VALUE, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.access);
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Rights", 0, c.access, &key));
        DWORD size = 0;
        EXPECT_EQ(c.query, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(c.set, RegSetValueExA(key, "v", 0, REG_SZ, x, 2));
        HKEY sub = nullptr;
        EXPECT_EQ(c.create,
                  RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
        if (sub) RegDeleteKeyA(key, "New");
        if (sub) RegCloseKey(sub);
        char name[8];
        EXPECT_EQ(c.enumerate == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : c.enumerate,
                  RegEnumKeyA(key, 0, name, sizeof name));
        EXPECT_EQ(c.deleteValue, RegDeleteValueA(key, "v"));
        if (c.deleteValue == ERROR_SUCCESS) RegSetValueExA(key, "v", 0, REG_SZ, x, 2);
        RegCloseKey(key);
    }
}

TEST_F(RegistryTest, HandlesAreValidatedAndDeletionIsRefusedWhereWindowsRefusesIt) {
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(0x1234)));
    HKEY key = Create("Gone\\Child");
    HKEY parent = Create("Gone");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(parent, ""));  // it has a subkey
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(parent, "Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(parent, "Missing"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "child"));
    // The handle to the deleted key is still open but reaches nothing.
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(key, "v", 0, REG_SZ, nullptr, 0));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(Subkeys(parent).empty());
    RegCloseKey(parent);
}

TEST_F(RegistryTest, ChangesAreSavedOnAPersistentMachineButHivesAreNot) {
    Machine().SetPersistent(true);
    HKEY key = Create("Saved");
    SetText(key, "Name", "value", 6);
    RegCloseKey(key);
    std::string saved = zutest::ReadFile(Machine().Folder() / "registry.reg");
    EXPECT_NE(std::string::npos,
              saved.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Saved]\r\n\"Name\"=\"value\"\r\n"))
        << saved;

    // A loaded hive stays out of registry.reg.
    zutest::WriteFile(Machine().Folder() / "drive_c" / "hive.txt",
                      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n\"In\"=\"hive\"\r\n");
    HANDLE token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_RESTORE_NAME, &privileges.Privileges[0].Luid));
    ASSERT_TRUE(
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr));
    CloseHandle(token);
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_LOCAL_MACHINE, "Hive", "C:\\HIVE.TXT"));
    key = Create("Saved2");
    RegCloseKey(key);
    // A change inside the hive goes to the hive's own file.
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Hive\\Software", 0, KEY_SET_VALUE, &key));
    SetText(key, "Added", "new", 4);
    RegCloseKey(key);
    saved = zutest::ReadFile(Machine().Folder() / "registry.reg");
    EXPECT_NE(std::string::npos, saved.find("Saved2"));
    EXPECT_EQ(std::string::npos, saved.find("Hive")) << saved;
    EXPECT_EQ(std::string::npos, saved.find("Added")) << saved;
    EXPECT_EQ(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n"
        "\"In\"=\"hive\"\r\n\"Added\"=\"new\"\r\n\r\n",
        zutest::ReadFile(Machine().Folder() / "drive_c" / "hive.txt"));
}

class HiveTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        zutest::WriteFile(Machine().Folder() / "drive_c" / "Profiles" / "ntuser.dat",
                          "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n\"Top\"=\"1\"\r\n\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Mail]\r\n\"Server\"=\"smtp.example\"\r\n");
        zutest::WriteFile(Machine().Folder() / "drive_c" / "notes.txt", "not a registry\r\n");
    }
    static LONG EnableRestore(BOOL enable) {
        HANDLE token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
            return static_cast<LONG>(GetLastError());
        TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, enable ? DWORD{SE_PRIVILEGE_ENABLED} : 0u}}};
        LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &privileges.Privileges[0].Luid);
        BOOL ok =
            AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
        LONG error = ok ? static_cast<LONG>(GetLastError()) : -1;
        CloseHandle(token);
        return error;
    }
};

TEST_F(HiveTest, LoadsAUserHiveUnderTheGivenNameUntilUnloaded) {
    EXPECT_EQ(ERROR_PRIVILEGE_NOT_HELD,
              RegLoadKeyA(HKEY_LOCAL_MACHINE, "User", "C:\\profiles\\NTUSER.DAT"));
    ASSERT_EQ(ERROR_SUCCESS, EnableRestore(TRUE));
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_LOCAL_MACHINE, "User", "C:\\profiles\\NTUSER.DAT"));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "User\\Software\\Mail", 0, KEY_READ, &key));
    char data[32];
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Server", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(data), &size));
    EXPECT_STREQ("smtp.example", data);

    // The name is taken, the file too; a hive with a key still open stays loaded.
    EXPECT_EQ(ERROR_ALREADY_EXISTS, RegLoadKeyA(HKEY_LOCAL_MACHINE, "User", "C:\\notes.txt"));
    EXPECT_EQ(ERROR_SHARING_VIOLATION,
              RegLoadKeyA(HKEY_USERS, "Again", "C:\\Profiles\\ntuser.dat"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "User"));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "User"));

    EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "User"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "User", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "User"));
}

TEST_F(HiveTest, RefusalsLeaveNothingBehind) {
    ASSERT_EQ(ERROR_SUCCESS, EnableRestore(TRUE));
    struct Case {
        const char* name;
        const char* file;
        LONG result;
    } cases[] = {
        {"X", "C:\\missing.dat", ERROR_FILE_NOT_FOUND},
        {"X", "C:\\notes.txt", ERROR_NOT_REGISTRY_FILE},
        {"X", "", ERROR_INVALID_PARAMETER},
        {"X\\Y", "C:\\Profiles\\ntuser.dat", ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(c.result, RegLoadKeyA(HKEY_LOCAL_MACHINE, c.name, c.file));
        HKEY key;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "X", 0, KEY_READ, &key));
    }
    // Only a loaded hive unloads; an ordinary key is not deleted this way.
    HKEY key = Create("Plain");
    RegCloseKey(key);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Plain", 0, KEY_READ, &key));
    RegCloseKey(key);
}

TEST_F(HiveTest, TokenRefusedOrPrivilegeNotHeld) {
    Machine().Settings().Set("Process", "Privileges", "SeBackupPrivilege");
    // The token reads its privileges when first used.
    EXPECT_EQ(ERROR_NOT_ALL_ASSIGNED, EnableRestore(TRUE));
    EXPECT_EQ(ERROR_PRIVILEGE_NOT_HELD,
              RegLoadKeyA(HKEY_LOCAL_MACHINE, "User", "C:\\Profiles\\ntuser.dat"));
    LUID luid;
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE), GetLastError());

    Machine().Settings().Set("Process", "Token", "refused");
    EXPECT_EQ(ERROR_ACCESS_DENIED, EnableRestore(TRUE));
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

    // A token handle closes once; its stale copy is then refused, not followed.
    Machine().Settings().Set("Process", "Token", "opens");
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES privileges = {0, {}};
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());  // no ADJUST right
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_FALSE(CloseHandle(token));
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(HiveTest, Windows9xHasNoTokensAndLoadsHivesWithoutPrivileges) {
    Machine().SetVersion({1, 4, 10, 2222, " A "});
    EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, EnableRestore(TRUE));
    EXPECT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_LOCAL_MACHINE, "User", "C:\\Profiles\\ntuser.dat"));
    EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "User"));
}

}  // namespace
