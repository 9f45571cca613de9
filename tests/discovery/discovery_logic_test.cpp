// The discovery logic over a made-up system shaped like Windows' port list:
// printer and file ports among the COM ports.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "serial/port_system.h"

namespace {

using Names = std::vector<std::string>;

struct FakePorts final : serial::PortSystem {
  bool available = true;
  std::string prefix = "COM";
  std::vector<serial::PortRecord> records;
  std::set<std::string> devices;
  Names asked;

  bool EnumPorts(std::vector<serial::PortRecord>& out) override {
    out.insert(out.end(), records.begin(), records.end());
    return available;
  }
  std::string_view SerialPrefix() const override { return prefix; }
  bool DeviceExists(const std::string& name) override {
    asked.push_back(name);
    return devices.count(name) > 0;
  }
};

Names Discover(FakePorts& ports, Names list = {"COM7", "COM8"}) {
  serial::GetComPorts(ports, list);
  return list;
}

TEST(PortDiscovery, ComPortsWhoseDeviceExistsInTextOrder) {
  FakePorts ports;
  ports.records = {{"COM3:", {}},       {"LPT1:", "Printer Port"}, {"COM10:", {}}, {"FILE:", "Print to File"},
                   {"COM1:", "Serial"}, {"COM4:", {}},             {"com5:", {}},  {"COM2:", {}}};
  ports.devices = {"COM1", "COM2", "COM3", "COM10", "LPT1", "FILE", "com5"};
  EXPECT_EQ(Discover(ports), (Names{"COM1", "COM10", "COM2", "COM3"}));
  // Only COM names are asked for; COM4 is known but absent.
  EXPECT_EQ(ports.asked, (Names{"COM1", "COM10", "COM2", "COM3", "COM4"}));

  ports.prefix = "";  // the order ignores letter case
  ports.records = {{"ttyb:", {}}, {"ttyA:", {}}, {"ttyC:", {}}};
  ports.devices = {"ttyA", "ttyb", "ttyC"};
  EXPECT_EQ(Discover(ports), (Names{"ttyA", "ttyb", "ttyC"}));
}

TEST(PortDiscovery, NothingFoundEmptiesTheList) {
  FakePorts ports;
  EXPECT_TRUE(Discover(ports).empty());
  ports.records = {{"COM1:", {}}};
  EXPECT_TRUE(Discover(ports).empty());  // known, but no device
  ports.devices = {"COM1"};
  ports.available = false;  // the system cannot be asked: nothing it gave is taken
  EXPECT_TRUE(Discover(ports).empty());
}

TEST(PortDiscovery, DuplicatesStay) {
  FakePorts ports;
  ports.records = {{"COM2:", {}}, {"COM1:", {}}, {"COM2:", "again"}};
  ports.devices = {"COM1", "COM2"};
  EXPECT_EQ(Discover(ports), (Names{"COM1", "COM2", "COM2"}));
}

TEST(PortDiscovery, EntriesAndTheCutAtTheFirstColon) {
  FakePorts ports;
  ports.records = {{"COM1:", std::string(300, 'x')}, {"COM2:", {}}, {"COM3:", ""}, {"LPT1:", "Printer"}};
  Names entries{"kept"};
  serial::EnumSystemComPorts(ports, entries);
  EXPECT_EQ(entries, (Names{"kept", "COM1: " + std::string(255, 'x'), "COM2:", "COM3: "}));

  // A name without its colon is cut at a colon of its description, or gives
  // no name at all, which is not asked for.
  ports.records = {{"COM2:", "x:y"}, {"COM1", "USB:a"}, {"COM9", {}}};
  ports.devices = {"COM1 USB", "COM2", "COM9"};
  ports.asked.clear();
  EXPECT_EQ(Discover(ports), (Names{"COM1 USB", "COM2"}));
  EXPECT_EQ(ports.asked, (Names{"COM1 USB", "COM2"}));
}

}  // namespace
