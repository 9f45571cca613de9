// The discovery logic over a made-up system with the shape of Windows'
// printing subsystem list: printer and file ports among the COM ports.
#include <gtest/gtest.h>

#include <set>

#include "serial/port_system.h"

namespace {

using serial::PortRecord;
using Names = std::vector<std::string>;

class FakePorts final : public serial::PortSystem {
 public:
  bool available = true;
  std::string prefix = "COM";
  std::vector<PortRecord> records;
  std::set<std::string> devices;
  std::vector<std::string> asked;

  bool EnumPorts(std::vector<PortRecord>& out) override {
    if (!available) return false;
    out.insert(out.end(), records.begin(), records.end());
    return true;
  }
  std::string_view SerialPrefix() const override { return prefix; }
  bool DeviceExists(const std::string& name) override {
    asked.push_back(name);
    return devices.count(name) > 0;
  }
};

Names Discover(FakePorts& ports, Names list = {}) {
  serial::GetComPorts(ports, list);
  return list;
}

TEST(PortDiscovery, KeepsComPortsWhoseDeviceExists) {
  FakePorts ports;
  ports.records = {{"COM1:", "Communications Port"}, {"LPT1:", "Printer Port"}, {"COM3:", {}},
                   {"FILE:", "Print to File"}, {"COM4:", {}}, {"com5:", {}}};
  ports.devices = {"COM1", "COM3", "LPT1", "FILE", "com5"};
  EXPECT_EQ(Discover(ports), (Names{"COM1", "COM3"}));
  // Only COM names are asked for; COM4 is known but absent.
  EXPECT_EQ(ports.asked, (Names{"COM1", "COM3", "COM4"}));
}

TEST(PortDiscovery, SortsAsTextNotByNumber) {
  FakePorts ports;
  ports.records = {{"COM2:", {}}, {"COM11:", {}}, {"COM3:", {}}, {"COM10:", {}}, {"COM1:", {}}};
  ports.devices = {"COM1", "COM2", "COM3", "COM10", "COM11"};
  EXPECT_EQ(Discover(ports), (Names{"COM1", "COM10", "COM11", "COM2", "COM3"}));
}

TEST(PortDiscovery, SortIgnoresLetterCase) {
  FakePorts ports;
  ports.prefix = "";
  ports.records = {{"ttyb:", {}}, {"ttyA:", {}}, {"ttyC:", {}}};
  ports.devices = {"ttyA", "ttyb", "ttyC"};
  EXPECT_EQ(Discover(ports), (Names{"ttyA", "ttyb", "ttyC"}));
}

TEST(PortDiscovery, EmptiesTheListWhenNothingIsFound) {
  FakePorts ports;
  EXPECT_TRUE(Discover(ports, {"COM7", "COM8"}).empty());  // no ports
  ports.records = {{"COM1:", {}}};
  ports.available = false;
  EXPECT_TRUE(Discover(ports, {"COM7"}).empty());  // the system cannot be asked
  EXPECT_TRUE(ports.asked.empty());
  ports.available = true;
  EXPECT_TRUE(Discover(ports, {"COM7"}).empty());  // known, but no device
}

TEST(PortDiscovery, KeepsDuplicates) {
  FakePorts ports;
  ports.records = {{"COM2:", {}}, {"COM1:", {}}, {"COM2:", "again"}};
  ports.devices = {"COM1", "COM2"};
  EXPECT_EQ(Discover(ports), (Names{"COM1", "COM2", "COM2"}));
}

TEST(PortDiscovery, EntriesCarryTheDescriptionCutTo255) {
  FakePorts ports;
  const std::string longText(300, 'x');
  ports.records = {{"COM1:", longText}, {"COM2:", {}}, {"COM3:", ""}, {"LPT1:", "Printer Port"}};
  Names entries{"kept"};
  serial::EnumSystemComPorts(ports, entries);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0], "kept");  // appends
  EXPECT_EQ(entries[1], "COM1: " + std::string(255, 'x'));
  EXPECT_EQ(entries[2], "COM2:");
  EXPECT_EQ(entries[3], "COM3: ");  // an empty description is still one
}

TEST(PortDiscovery, NamesEndAtTheFirstColon) {
  FakePorts ports;
  // A name without its colon is cut at a colon of its description, or gives
  // no name at all, which is not asked for.
  ports.records = {{"COM2:", "x:y"}, {"COM1", "USB:a"}, {"COM9", {}}};
  ports.devices = {"COM1 USB", "COM2", "COM9"};
  EXPECT_EQ(Discover(ports), (Names{"COM1 USB", "COM2"}));
  EXPECT_EQ(ports.asked, (Names{"COM1 USB", "COM2"}));
}

}  // namespace
