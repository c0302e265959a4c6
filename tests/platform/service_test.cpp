// The service control manager, the event log, system message texts and the module path.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <future>
#include <thread>

#include "machine/process.h"
#include "machine/service_manager.h"
#include "test_machine.h"

namespace {

using zutest::MachineTest;

TEST(FormatMessageTest, SystemTextsInWindowsWordsEndInCrLf) {
    struct Case {
        DWORD code;
        const char* text;
    };
    const Case cases[] = {
        {2, "The system cannot find the file specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {1060, "The specified service does not exist as an installed service.\r\n"},
        {1063, "The service process could not connect to the service controller.\r\n"},
        {1073, "The specified service already exists.\r\n"},
    };
    for (const Case& c : cases) {
        char* text = nullptr;
        DWORD count =
            FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, c.code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        ASSERT_NE(text, nullptr) << c.code;
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(count, std::strlen(c.text));
        EXPECT_EQ(LocalFree(text), nullptr);
    }

    char buffer[64] = "untouched";
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x12345, 0, buffer, sizeof buffer,
                             nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buffer, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_STREQ(buffer, "untouched");
    // Only the heap's own blocks are freed; anything else comes back.
    EXPECT_EQ(LocalFree(buffer), buffer);
}

TEST_F(MachineTest, EventsAreReadableLinesOfTheMachineLog) {
    Machine().Settings().Set("Clock", "Time", "2001-12-31 23:59:58");
    HANDLE source = RegisterEventSourceA(nullptr, "vantorlancfg");
    ASSERT_NE(source, nullptr);
    LPCSTR strings[] = {"first", "tab\there\nand a line"};
    EXPECT_TRUE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr));
    EXPECT_TRUE(DeregisterEventSource(source));
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr));
    EXPECT_EQ(zutest::ReadFile(Machine().Folder() / "eventlog.txt"),
              "2001-12-31 23:59:58\tvantorlancfg\tError\tfirst\ttab\\there\\nand a line\n");

    Machine().Settings().Set("EventLog", "Available", "no");
    EXPECT_EQ(RegisterEventSourceA(nullptr, "vantorlancfg"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    Machine().SetVersion({1, 4, 10, 1998, ""});
    EXPECT_EQ(RegisterEventSourceA(nullptr, "vantorlancfg"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

TEST_F(MachineTest, ModuleFileNameIsTheProgramsInstalledPath) {
    winsim::SetProgramName("vantorlancfg");
    const char path[] = "C:\\Program Files\\Corvane\\vantorlancfg.exe";
    char buffer[64];
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    Machine().Settings().Set("Programs", "vantorlancfg", path);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), std::strlen(path));
    EXPECT_STREQ(buffer, path);
    // Cut to the buffer, terminated, and the buffer's size returned.
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 8), 8u);
    EXPECT_STREQ(buffer, "C:\\Prog");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

DWORD QueryDword(const char* key, const char* value) {
    HKEY hKey;
    DWORD data = 0, size = sizeof data, type = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return ~0u;
    RegQueryValueExA(hKey, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(hKey);
    return data;
}

std::string QueryText(const char* key, const char* value, DWORD* type) {
    HKEY hKey;
    char data[256] = "";
    DWORD size = sizeof data - 1;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return "-";
    LONG result =
        RegQueryValueExA(hKey, value, nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(hKey);
    return result == ERROR_SUCCESS ? data : "-";
}

SC_HANDLE CreateTestService(SC_HANDLE manager, const char* name, DWORD start = SERVICE_AUTO_START) {
    return CreateServiceA(manager, name, "Test Service", SERVICE_ALL_ACCESS,
                          SERVICE_WIN32_OWN_PROCESS, start, SERVICE_ERROR_NORMAL,
                          "\"C:\\Program Files\\t.exe\"", nullptr, nullptr, "\0\0", nullptr,
                          nullptr);
}

TEST_F(MachineTest, ServicesDatabaseIsTheServicesKeyWithWindowsErrors) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service = CreateTestService(manager, "TestSvc");
    ASSERT_NE(service, nullptr);
    const char* key = "SYSTEM\\CurrentControlSet\\Services\\TestSvc";
    EXPECT_EQ(QueryDword(key, "Type"), 0x10u);
    EXPECT_EQ(QueryDword(key, "Start"), 2u);
    EXPECT_EQ(QueryDword(key, "ErrorControl"), 1u);
    DWORD type = 0;
    EXPECT_EQ(QueryText(key, "ImagePath", &type), "\"C:\\Program Files\\t.exe\"");
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(QueryText(key, "DisplayName", &type), "Test Service");
    EXPECT_EQ(QueryText(key, "ObjectName", &type), "LocalSystem");
    EXPECT_EQ(QueryText(key, "DependOnService", &type), "-");

    SERVICE_STATUS status{};
    EXPECT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));

    EXPECT_EQ(CreateTestService(manager, "testsvc"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    EXPECT_TRUE(DeleteService(service));
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_FALSE(CloseServiceHandle(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(OpenServiceA(manager, "TestSvc", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_TRUE(CloseServiceHandle(manager));

    // A program not started by the SCM cannot connect to it.
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>("TestSvc"), [](DWORD, LPSTR*) {}},
                                    {nullptr, nullptr}};
    EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));

    Machine().Settings().Set("Services", "Administrator", "no");
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    Machine().SetVersion({1, 4, 0, 950, ""});
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

// A service program for the tests: it starts, runs until told to finish, and stops. Its handler
// records the thread each control arrives on.
struct TestService {
    static inline SERVICE_STATUS_HANDLE handle;
    static inline SERVICE_STATUS status;
    static inline std::promise<void> finish;
    static inline std::promise<void> running;
    static inline std::atomic<std::thread::id> controlThread;
    static inline DWORD accepted;

    static void Report(DWORD state) {
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted = state == SERVICE_RUNNING ? accepted : 0;
        SetServiceStatus(handle, &status);
    }
    static void WINAPI Handler(DWORD control) {
        controlThread = std::this_thread::get_id();
        if (control == SERVICE_CONTROL_STOP) {
            Report(SERVICE_STOP_PENDING);
            finish.set_value();
        } else {
            Report(status.dwCurrentState);
        }
    }
    static void WINAPI Main(DWORD, LPSTR*) {
        handle = RegisterServiceCtrlHandlerA("TestSvc", Handler);
        Report(SERVICE_START_PENDING);
        Report(SERVICE_RUNNING);
        running.set_value();
        finish.get_future().wait();
        Report(SERVICE_STOPPED);
    }
    static int Entry() {
        SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>("TestSvc"), Main}, {nullptr, nullptr}};
        return StartServiceCtrlDispatcherA(table) ? 0 : 1;
    }
    static void Reset(DWORD controls) {
        finish = {};
        running = {};
        accepted = controls;
        controlThread = std::thread::id();
    }
};

TEST_F(MachineTest, StartedServiceGetsControlsOnTheMainThreadAndLeavesWhenDeleted) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateTestService(manager, "TestSvc");
    auto& services = Machine().Component<winsim::ServiceManager>();
    EXPECT_EQ(services.Start("NoSuchSvc", TestService::Entry), ERROR_SERVICE_DOES_NOT_EXIST);

    for (DWORD accepted : {0u, static_cast<DWORD>(SERVICE_ACCEPT_STOP)}) {
        TestService::Reset(accepted);
        std::thread::id mainThread;
        int exitCode = -1;
        std::thread program([&] {
            mainThread = std::this_thread::get_id();
            EXPECT_EQ(services.Start("TestSvc", TestService::Entry, nullptr, &exitCode), 0u);
        });
        TestService::running.get_future().wait();
        SERVICE_STATUS status{};
        EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
        if (accepted) {
            // The answer is the last report, made by the handler or, already, by the service.
            EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
            EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING ||
                        status.dwCurrentState == SERVICE_STOPPED);
        } else {
            // A service that accepts no stop is refused it, and is deleted once it stops.
            EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
            EXPECT_TRUE(DeleteService(service));
            EXPECT_FALSE(DeleteService(service));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
            EXPECT_EQ(CreateTestService(manager, "TestSvc"), nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
            TestService::finish.set_value();
        }
        program.join();
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(TestService::controlThread.load(), mainThread);
        std::vector<DWORD> states;
        for (const auto& report : services.Reports("TestSvc")) states.push_back(report.state);
        std::vector<DWORD> expected = {SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_RUNNING};
        if (accepted) expected.push_back(SERVICE_STOP_PENDING);
        expected.push_back(SERVICE_STOPPED);
        EXPECT_EQ(states, expected);
        EXPECT_TRUE(QueryServiceStatus(service, &status));
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
        if (!accepted) {
            EXPECT_EQ(OpenServiceA(manager, "TestSvc", SERVICE_ALL_ACCESS), nullptr);
            CloseServiceHandle(service);
            service = CreateTestService(manager, "TestSvc");
        }
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

}  // namespace
