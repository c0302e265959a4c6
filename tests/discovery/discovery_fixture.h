// A machine whose registry, files and network a discovery test arranges.
#pragma once

#include <cstring>
#include <sstream>
#include <string>

#include "discovery.h"
#include "machine/network.h"
#include "machine/registry_store.h"
#include "registry_value.h"
#include "test_machine.h"

class DiscoveryTest : public zutest::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        UserRootKey = UserRootKeyRecord{0, ""};
    }
    // REGEDIT4 text without its first line.
    void ImportRegistry(const std::string& text) {
        Registry().Import("REGEDIT4\r\n\r\n" + text, "test.reg");
    }
    winsim::RegistryStore& Registry() { return Machine().Component<winsim::RegistryStore>(); }
    winsim::NetworkState& Net() { return Machine().Component<winsim::NetworkState>(); }
    void Describe(const std::string& networkIni) {
        Net().SetDescription(winsim::ParseNetworkIni(networkIni, "network.ini"));
    }
    // Every key a routine opened is closed again.
    void ExpectNoOpenKeys() {
        EXPECT_FALSE(Registry().HasOpenHandlesBelow(Registry().LocalMachine()));
        EXPECT_FALSE(Registry().HasOpenHandlesBelow(Registry().Users()));
    }
    std::filesystem::path Drive() { return Machine().Folder() / "drive_c"; }
};
