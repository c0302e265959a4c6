// The program frame: command line, console commands, service run, status reports and events.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "agent_test_support.h"
#include "machine/process.h"
#include "machine/service_manager.h"

namespace {

namespace fs = std::filesystem;
using agenttest::EventLog;
using zutest::MachineTest;

const char kInstalledPath[] = "C:\\Program Files\\Corvane\\LAN Finchwell\\vantorlancfg.exe";
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\vantorlancfg";

class AgentFrameTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        winsim::SetProgramName("vantorlancfg");
        Machine().Settings().Set("Programs", "vantorlancfg", kInstalledPath);
        Machine().Settings().Set("Clock", "Time", "2001-12-31 23:59:58");
        agenttest::SetText(AGENT_REGISTRY_KEY, "SaveToNesk", "1");
        g_dwCheckPoint = 1;
        fs::create_directories(Machine().Folder() / "partition");
        fs::create_directories(Machine().Folder() / "drive_c");
    }

    // Runs the program entry with `args` and returns what it printed.
    std::string Run(std::vector<std::string> args, int* exitCode = nullptr) {
        std::vector<char*> argv = {const_cast<char*>("vantorlancfg")};
        for (std::string& arg : args) argv.push_back(arg.data());
        testing::internal::CaptureStdout();
        int code = AgentMain(static_cast<int>(argv.size()), argv.data());
        if (exitCode) *exitCode = code;
        return testing::internal::GetCapturedStdout();
    }

    bool Installed() { return agenttest::RawValue(kServiceKey, "Type") != "-"; }
    bool Collected() { return fs::exists(Machine().Folder() / "partition" / "Network.ini"); }
};

TEST_F(AgentFrameTest, FirstArgumentPicksTheCommandByWholeWordInAnyCase) {
    struct Case {
        std::vector<std::string> args;
        bool install;
        bool collect;
        bool event;
    };
    const Case cases[] = {
        {{"-INSTALL"}, true, false, false},
        {{"/Install"}, true, false, false},
        {{"/install"}, true, false, false},
        {{"-Debug"}, false, true, false},
        {{"-debug", "-install"}, false, true, false},
        {{"-inst"}, false, false, false},
        {{"-help"}, false, false, false},
        {{"/?"}, false, false, false},
        {{"-installer"}, false, false, false},
        {{"install"}, false, false, true},
        {{}, false, false, true},
    };
    for (const Case& c : cases) {
        std::string label = c.args.empty() ? "(none)" : c.args[0];
        TearDown();
        fs::remove_all(Folder());
        fs::create_directories(Folder());
        SetUp();
        int exitCode = -1;
        std::string printed = Run(c.args, &exitCode);
        EXPECT_EQ(exitCode, 0) << label;
        EXPECT_EQ(Installed(), c.install) << label;
        EXPECT_EQ(Collected(), c.collect) << label;
        if (!c.install) {
            EXPECT_EQ(printed, "") << label;
        }
        // Without a switch the program takes the service path; from a prompt that fails.
        EXPECT_EQ(EventLog(Machine()),
                  c.event ? "2001-12-31 23:59:58\tvantorlancfg\tError\tvantorlancfg error: "
                            "1063\tStartServiceCtrlDispatcher failed.\n"
                          : "")
            << label;
        EXPECT_TRUE(
            Machine().Component<winsim::ServiceManager>().Reports(AGENT_SERVICE_NAME).empty())
            << label;
    }
}

TEST_F(AgentFrameTest, InstallAndRemovePrintTheirLinesWithTheSystemText) {
    EXPECT_EQ(Run({"-install"}), "Quessa LAN Configuration Agent installed.\n");
    // The path holds blanks, so it is registered in quotes.
    EXPECT_EQ(agenttest::RawValue(kServiceKey, "ImagePath"),
              std::string("\"") + kInstalledPath + "\"" + '\0');
    EXPECT_EQ(agenttest::RawValue(kServiceKey, "DisplayName"),
              std::string("Quessa LAN Configuration Agent") + '\0');
    EXPECT_EQ(Run({"-install"}),
              "CreateService failed - The specified service already exists. (0x431)\n");
    // Not running: no stop line, straight to deletion.
    EXPECT_EQ(Run({"-remove"}), "Quessa LAN Configuration Agent removed.\n");
    EXPECT_FALSE(Installed());
    EXPECT_EQ(Run({"-remove"}),
              "OpenService failed - The specified service does not exist as an installed "
              "service. (0x424)\n");

    Machine().Settings().Set("Programs", "vantorlancfg", "C:\\AGENT\\vantorlancfg.exe");
    EXPECT_EQ(Run({"-install"}), "Quessa LAN Configuration Agent installed.\n");
    EXPECT_EQ(agenttest::RawValue(kServiceKey, "ImagePath"),
              std::string("C:\\AGENT\\vantorlancfg.exe") + '\0');

    Machine().Settings().Set("Programs", "vantorlancfg", "");
    EXPECT_EQ(Run({"-install"}),
              "Unable to install Quessa LAN Configuration Agent - The specified module could not "
              "be found. (0x7e)\n");
    Machine().SetVersion({1, 4, 10, 1998, ""});
    EXPECT_EQ(Run({"/remove"}),
              "OpenSCManager failed - This function is not supported on this system. (0x78)\n");
    EXPECT_EQ(EventLog(Machine()), "");
}

TEST(FormatSystemErrorTest, TextAndCodeOnlyWhenTheyFit) {
    // "The specified service already exists." is 39 characters with its CR LF.
    struct Case {
        DWORD code;
        DWORD size;
        const char* text;
    };
    const Case cases[] = {
        {1073, 256, "The specified service already exists. (0x431)"},
        {1073, 53, "The specified service already exists. (0x431)"},
        {1073, 52, ""},
        {0x12345, 256, ""},
    };
    for (const Case& c : cases) {
        char buffer[256] = "stale";
        SetLastError(c.code);
        EXPECT_EQ(FormatSystemError(buffer, c.size), buffer);
        EXPECT_STREQ(buffer, c.text) << c.code << " " << c.size;
    }
}

// Starts the installed agent the way the SCM does.
uint32_t StartAgent(winsim::Machine& machine, winsim::ServiceManager::ReportSink sink = nullptr) {
    return machine.Component<winsim::ServiceManager>().Start(
        AGENT_SERVICE_NAME,
        [] {
            char* argv[] = {const_cast<char*>("vantorlancfg"), nullptr};
            return AgentMain(1, argv);
        },
        std::move(sink));
}

TEST_F(AgentFrameTest, ServiceRunReportsWithTheCheckpointRuleAndInterrogationsNeverInterleave) {
    Run({"-install"});
    auto& services = Machine().Component<winsim::ServiceManager>();
    // Each report is read slowly, so that a record changed under it shows up as torn.
    services.SetReadDelay(std::chrono::microseconds(2000));
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, AGENT_SERVICE_NAME, SERVICE_ALL_ACCESS);

    std::atomic<bool> stopped{false};
    std::mutex answersMutex;
    std::vector<SERVICE_STATUS> answers;
    std::thread interrogator;
    ASSERT_EQ(
        StartAgent(Machine(),
                   [&](const winsim::ServiceReport& report) {
                       if (report.state == SERVICE_STOPPED) stopped = true;
                       if (report.state != SERVICE_RUNNING || interrogator.joinable()) return;
                       interrogator = std::thread([&] {
                           while (!stopped) {
                               SERVICE_STATUS status{};
                               if (ControlService(service, SERVICE_CONTROL_INTERROGATE, &status)) {
                                   std::lock_guard<std::mutex> lock(answersMutex);
                                   answers.push_back(status);
                               }
                           }
                       });
                   }),
        0u);
    interrogator.join();

    std::vector<winsim::ServiceReport> reports = services.Reports(AGENT_SERVICE_NAME);
    ASSERT_GE(reports.size(), 4u);
    DWORD lastCheckPoint = 0;
    for (const auto& report : reports) {
        EXPECT_FALSE(report.torn);
        EXPECT_EQ(report.controlsAccepted, 0u);
        if (report.state == SERVICE_RUNNING || report.state == SERVICE_STOPPED) {
            EXPECT_EQ(report.checkPoint, 0u);
        } else {
            EXPECT_GT(report.checkPoint, lastCheckPoint);
            lastCheckPoint = report.checkPoint;
        }
    }
    // Without interrogations in between, the run's own four: checkpoints 1, 0, 2, 0.
    EXPECT_EQ(reports.front().state, static_cast<uint32_t>(SERVICE_START_PENDING));
    EXPECT_EQ(reports.front().checkPoint, 1u);
    EXPECT_EQ(reports.front().waitHint, 3000u);
    EXPECT_EQ(reports[1].state, static_cast<uint32_t>(SERVICE_RUNNING));
    EXPECT_EQ(reports.back().state, static_cast<uint32_t>(SERVICE_STOPPED));
    for (const SERVICE_STATUS& answer : answers) {
        if (answer.dwCurrentState == SERVICE_RUNNING) {
            EXPECT_EQ(answer.dwCheckPoint, 0u);
        }
    }
    EXPECT_TRUE(fs::exists(Machine().Folder() / "partition" / "Network.ini"));
    EXPECT_EQ(EventLog(Machine()), "");

    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

TEST_F(AgentFrameTest, QuietRunReportsOneToFourAndRemoveWhileRunningDeletesAfterTheRun) {
    Run({"-install"});
    std::string removal;
    ASSERT_EQ(StartAgent(Machine(),
                         [&](const winsim::ServiceReport& report) {
                             // The service accepts no stop: no stop line, deletion at once.
                             if (report.state == SERVICE_RUNNING && removal.empty()) {
                                 std::thread remove([&] { removal = Run({"-remove"}); });
                                 remove.join();
                             }
                         }),
              0u);
    EXPECT_EQ(removal, "Quessa LAN Configuration Agent removed.\n");
    EXPECT_FALSE(Installed());
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> sequence;
    for (const auto& r : Machine().Component<winsim::ServiceManager>().Reports(AGENT_SERVICE_NAME))
        sequence.emplace_back(r.state, r.checkPoint, r.waitHint);
    using T = std::tuple<uint32_t, uint32_t, uint32_t>;
    EXPECT_EQ(sequence, (std::vector<T>{T{SERVICE_START_PENDING, 1, 3000}, T{SERVICE_RUNNING, 0, 0},
                                        T{SERVICE_STOP_PENDING, 2, 0}, T{SERVICE_STOPPED, 0, 0}}));
}

TEST_F(AgentFrameTest, RefusedReportsLogTwoEventsEachAndTheRunGoesOn) {
    Run({"-install"});
    Machine().Component<winsim::ServiceManager>().FailReports(ERROR_INVALID_DATA);
    ASSERT_EQ(StartAgent(Machine()), 0u);
    std::string pair =
        "2001-12-31 23:59:58\tvantorlancfg\tError\tvantorlancfg error: 13\tSetServiceStatus\n"
        "2001-12-31 23:59:58\tvantorlancfg\tError\tvantorlancfg error: 13\tFinchwell service "
        "Fail.\n";
    EXPECT_EQ(EventLog(Machine()), pair + pair + pair + pair);
    EXPECT_TRUE(fs::exists(Machine().Folder() / "partition" / "Network.ini"));
}

TEST_F(AgentFrameTest, ServiceMainWithoutTheScmEndsTheProcessWithMinusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(AgentServiceMain(0, nullptr), testing::ExitedWithCode(255), "");
}

}  // namespace
