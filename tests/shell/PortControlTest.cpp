// Foot switches through a port double: both polarities, both transitions, the order of the
// lines, a port that cannot be opened and one that vanishes while playing.
#include "shell/PortControl.h"
#include "support/FakePorts.h"

#include <gtest/gtest.h>


namespace kreisel::test {
namespace {

class PortRig : public ::testing::Test {
  protected:
    PortRig() {
        port.SendKey = [this](int key, bool down) { keys += (down ? "v" : "^") + std::to_string(key) + " "; };
        port.Report = [this](const std::string& text) { reports.push_back(text); };
        port.PortEnabled = true;
    }
    void Set(unsigned bits) {
        ports.lines["/dev/ttyUSB0"].bits = bits;
        port.PortActions();
        port.Deliver();
    }

    FakePorts ports;
    PortControl port{ports};
    std::string keys;
    std::vector<std::string> reports;
};

TEST_F(PortRig, LineChangesBecomeKeyStrokesInEitherPolarity) {
    struct Case {
        bool inverting, both;
        const char* expected;
    };
    const Case cases[] = {
        {false, false, "v13 ^13 "},
        {true, false, "^13 v13 "},
        {false, true, "v13 ^13 v13 ^13 "},
        {true, true, "v13 ^13 v13 ^13 "}, // both transitions ignore the inversion
    };
    for (const Case& c : cases) {
        port.PortUseInverting = c.inverting;
        port.PortUseBothTransitions = c.both;
        ASSERT_TRUE(port.Reopen("/dev/ttyUSB0"));
        keys.clear();
        Set(kModemCTS);
        Set(kModemCTS); // unchanged: nothing
        Set(0);
        EXPECT_EQ(keys, c.expected) << c.inverting << c.both;
    }
}

TEST_F(PortRig, LinesChangingTogetherGoInTheirOrderAndKeyZeroSendsNothing) {
    ASSERT_TRUE(port.Reopen("/dev/ttyUSB0"));
    Set(kModemRING | kModemRLSD | kModemDSR | kModemCTS);
    EXPECT_EQ(keys, "v13 v32 v80 "); // RING sends key 0: nothing
    EXPECT_EQ(port.LastModemStatus(), 0xF0u);
}

TEST_F(PortRig, AMissingPortIsRefusedAndALostOneEndsPortControlOnce) {
    EXPECT_FALSE(port.Reopen("/dev/ttyS7"));
    EXPECT_FALSE(port.PortEnabled);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Port \"/dev/ttyS7\" momentan nicht verfügbar !");

    port.PortEnabled = true;
    ASSERT_TRUE(port.Reopen("/dev/ttyUSB0"));
    Set(kModemDSR);
    ports.lines["/dev/ttyUSB0"].present = false;
    for (int block = 0; block < 5; ++block)
        Set(0);
    EXPECT_EQ(keys, "v32 ");
    EXPECT_FALSE(port.PortEnabled);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(port.LastModemStatus(), 0u);

    // Plugged in again: switching port control on reopens it, and the lines work again.
    ports.lines["/dev/ttyUSB0"] = {kModemDSR, true};
    port.PortEnabled = true;
    ASSERT_TRUE(port.Reopen("/dev/ttyUSB0"));
    Set(0);
    EXPECT_EQ(keys, "v32 ^32 ");
}

} // namespace
} // namespace kreisel::test
