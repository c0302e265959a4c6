// The built programs on copies of the example machines: "vantorlancfg -debug" and the record it
// writes, and the installed service started the way the SCM starts it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "agent_test_support.h"

namespace {

namespace fs = std::filesystem;

#if defined(VANTORLANCFG_EXE) && defined(SC_EXE)

// A copy of an example machine whose clock stands at 2001-12-31 23:59:58.
class ExampleMachine {
public:
    explicit ExampleMachine(const char* name) : m_folder(m_dir.Path() / name) {
        zutest::CopyTree(fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / name, m_folder);
        std::string ini = zutest::ReadFile(m_folder / "machine.ini");
        ini = std::regex_replace(ini, std::regex("Time=host"), "Time=2001-12-31 23:59:58");
        zutest::WriteFile(m_folder / "machine.ini", ini);
    }
    const fs::path& Folder() const { return m_folder; }

    // Runs `program args` on this machine; its standard output, and its exit code in `code`.
    std::string Run(const std::string& command, int* code = nullptr) const {
        std::string line = "WINSIM_MACHINE='" + m_folder.string() + "' " + command + " 2>/dev/null";
        FILE* pipe = popen(line.c_str(), "r");
        std::string output;
        char buffer[256];
        size_t n;
        while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        int status = pipe ? pclose(pipe) : -1;
        if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return output;
    }

    std::string NetworkIni() const {
        return zutest::ReadFile(m_folder / "partition" / "Network.ini");
    }

private:
    zutest::TempDir m_dir;
    fs::path m_folder;
};

// LastUpdate as the machine's registry.reg holds it: the 21 characters, their NUL, three more.
const char kLastUpdate[] =
    "\"LastUpdate\"=hex(1):31,32,2f,33,31,2f,32,30,30,31,20,2d,20,32,33,3a,35,39,3a,\\\r\n"
    "  35,38,00,00,00,00\r\n";

std::string Record(const std::string& lines) {
    std::string text = "[GENERAL]\r\n" + lines + "\r\n";
    return std::regex_replace(text, std::regex("([^\r])\n"), "$1\r\n");
}

TEST(EndToEndTest, DebugRunOnEachExampleWritesItsRecordAndStampsLastUpdate) {
    struct Case {
        const char* machine;
        std::string record;
    };
    const Case cases[] = {
        {"win95",
         Record("IP=192.168.10.20\nHTTP_PROXY=oldproxy:3128\nSMTP_SERVER=oldmail\n"
                "Cfg_Method=2\nSUBNET_MASK=255.255.255.0\nGATEWAY=192.168.10.1\n"
                "DOMAIN=office.example\nDHCP=NO\nNAME_SERVER=192.168.10.53,192.168.10.54")},
        {"win98", Record("IP=192.168.1.20\nSUBNET_MASK=255.255.255.0\nGATEWAY=192.168.1.1\n"
                         "DOMAIN=home.example\nDHCP=No\nNAME_SERVER=192.168.1.53\n"
                         "HTTP_PROXY=proxy.home.example:8080\nSMTP_SERVER=mail.home.example\n"
                         "Cfg_Method=2")},
        {"win98-no-iphlpapi",
         Record("IP=172.16.4.33\nSUBNET_MASK=255.255.0.0\nGATEWAY=172.16.0.1\nDOMAIN=lab.example\n"
                "DHCP=NO\nNAME_SERVER=172.16.0.53\nHTTP_PROXY=cache.lab.example:3128\n"
                "SMTP_SERVER=smtp.lab.example\nCfg_Method=2")},
        {"nt40", Record("IP=10.1.2.30\nSUBNET_MASK=255.255.255.0\nGATEWAY=10.1.2.1\n"
                        "DOMAIN=sales.example.com\nDHCP=NO\nNAME_SERVER=10.1.2.53\n"
                        "HTTP_PROXY=proxy.sales.example.com:8080\n"
                        "SMTP_SERVER=smtp.sales.example.com\nCfg_Method=2")},
        {"win2000-dhcp",
         Record("IP=- DHCP -\nSUBNET_MASK=- DHCP -\nGATEWAY=- DHCP -\nDOMAIN=- DHCP -\nDHCP=Yes\n"
                "NAME_SERVER=- DHCP -\nHTTP_PROXY=webcache.corp.example.com:3128\n"
                "SMTP_SERVER=smtp.corp.example.com\nCfg_Method=2")},
    };
    for (const Case& c : cases) {
        ExampleMachine machine(c.machine);
        int code = -1;
        EXPECT_EQ(machine.Run(std::string(VANTORLANCFG_EXE) + " -debug", &code), "") << c.machine;
        EXPECT_EQ(code, 0) << c.machine;
        EXPECT_EQ(machine.NetworkIni(), c.record) << c.machine;
        EXPECT_NE(zutest::ReadFile(machine.Folder() / "registry.reg").find(kLastUpdate),
                  std::string::npos)
            << c.machine;
        EXPECT_FALSE(fs::exists(machine.Folder() / "eventlog.txt")) << c.machine;
    }
}

TEST(EndToEndTest, InstalledServiceStartsAsTheScmStartsItAndPrintsEachReport) {
    ExampleMachine machine("nt40");
    EXPECT_EQ(machine.Run(std::string(VANTORLANCFG_EXE) + " -install"),
              "Quessa LAN Configuration Agent installed.\n");
    std::string query = machine.Run(std::string(SC_EXE) + " query vantorlancfg");
    EXPECT_NE(query.find("ImagePath       : \"C:\\Program Files\\Corvane\\LAN Finchwell\\"
                         "vantorlancfg.exe\""),
              std::string::npos)
        << query;
    EXPECT_NE(query.find("STOPPED"), std::string::npos) << query;

    int code = -1;
    std::string started = machine.Run(std::string(SC_EXE) + " start vantorlancfg", &code);
    EXPECT_EQ(code, 0) << started;
    std::regex reports(
        "  START_PENDING    checkpoint 1  wait hint 3000 ms  controls 0x0  exit code 0\n"
        "  RUNNING          checkpoint 0  wait hint 0 ms  controls 0x0  exit code 0\n"
        "  STOP_PENDING     checkpoint 2  wait hint 0 ms  controls 0x0  exit code 0\n"
        "  STOPPED          checkpoint 0  wait hint 0 ms  controls 0x0  exit code 0\n"
        "\\[SC\\] vantorlancfg: the service process ended with exit code 0\n$");
    EXPECT_TRUE(std::regex_search(started, reports)) << started;
    EXPECT_NE(machine.NetworkIni().find("NAME_SERVER=10.1.2.53\r\n"), std::string::npos);

    EXPECT_EQ(machine.Run(std::string(VANTORLANCFG_EXE) + " -remove"),
              "Quessa LAN Configuration Agent removed.\n");
    EXPECT_EQ(machine.Run(std::string(SC_EXE) + " query vantorlancfg").find("SERVICE_NAME"),
              std::string::npos);
}

#endif

}  // namespace
