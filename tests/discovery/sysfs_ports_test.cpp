// Linux discovery on sysfs trees made up in a temporary directory, laid out
// as current kernels do: 8250 ports under serial-base port devices, USB
// serial adapters and ACM modems under their USB devices, virtual consoles
// and ptys under devices/virtual.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "serial/port_system.h"
#include "toolkit/codepage.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class FakeTree {
 public:
  FakeTree() {
    std::string pattern = (fs::temp_directory_path() / "zorvik-sysfs-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    fs::create_directories(root_ / "sys" / "class" / "tty");
    fs::create_directories(root_ / "dev");
  }
  ~FakeTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  serial::SysfsPortSystem::Layout Layout() const {
    return {root_ / "sys", root_ / "dev", root_ / "proc-consoles"};
  }

  // A serial-base port of the 8250 driver; type 0 is a slot without a UART.
  void Add8250(const std::string& name, int type, bool node = true) {
    const std::string port = "serial8250:0." + name.substr(4);
    const fs::path dev = "devices/platform/serial8250/serial8250:0/" + port;
    Tty(name, dev / "tty" / name, "../../../" + port);
    Write(Sys() / dev / "tty" / name / "type", std::to_string(type) + "\n");
    if (node) Node(name);
  }

  void AddUsbSerial(const std::string& name, const std::string& usb, const std::string& product,
                    const std::string& number) {
    const fs::path device = "devices/pci0000:00/0000:00:14.0/usb1/" + usb;
    Tty(name, device / (usb + ":1.0") / name / "tty" / name, "../../../" + name);
    Write(Sys() / device / "product", product + "\n");
    if (!number.empty()) Write(Sys() / device / "serial", number + "\n");
    Node(name);
  }

  void AddAcm(const std::string& name, const std::string& usb, const std::string& product) {
    const fs::path device = "devices/pci0000:00/0000:00:14.0/usb1/" + usb;
    Tty(name, device / (usb + ":1.0") / "tty" / name, "../../../" + usb + ":1.0");
    Write(Sys() / device / "product", product + "\n");
    Node(name);
  }

  // Virtual consoles, the console alias and ptys: no device behind them.
  void AddVirtual(const std::string& name) {
    fs::create_directories(Sys() / "devices/virtual/tty" / name);
    fs::create_symlink("../../devices/virtual/tty/" + name, Sys() / "class/tty" / name);
    Node(name);
  }

  void Node(const std::string& name) { Write(root_ / "dev" / name, ""); }
  void ActiveConsoles(const std::string& text) {
    if (!fs::exists(Sys() / "class/tty/console")) AddVirtual("console");
    Write(Sys() / "devices/virtual/tty/console/active", text);
  }
  void ProcConsoles(const std::string& text) { Write(root_ / "proc-consoles", text); }
  fs::path Sys() const { return root_ / "sys"; }

 private:
  void Tty(const std::string& name, const fs::path& dir, const std::string& deviceLink) {
    fs::create_directories(Sys() / dir);
    fs::create_directories(Sys() / dir / deviceLink);
    fs::create_symlink(deviceLink, Sys() / dir / "device");
    fs::create_symlink("../.." / dir, Sys() / "class/tty" / name);
  }
  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

  fs::path root_;
};

Names Discover(const FakeTree& tree, Names list = {}) {
  serial::SysfsPortSystem ports(tree.Layout());
  serial::GetComPorts(ports, list);
  return list;
}

Names Entries(const FakeTree& tree) {
  serial::SysfsPortSystem ports(tree.Layout());
  Names entries;
  serial::EnumSystemComPorts(ports, entries);
  return entries;
}

// A machine as it is found: the kernel console on ttyS0, three 8250 slots
// of which one has no UART, a USB adapter, an ACM modem, consoles and ptys.
TEST(SysfsPorts, TypicalMachine) {
  FakeTree tree;
  for (const char* v : {"tty", "tty0", "tty1", "tty63", "console", "ptmx", "ptyp0", "ttyp0"}) tree.AddVirtual(v);
  tree.ActiveConsoles("tty0 ttyS0\n");
  tree.ProcConsoles("ttyS0                -W- (EC  p a)    4:64\ntty0                 -WU (E  p  )    4:1\n");
  tree.Add8250("ttyS0", 4);
  tree.Add8250("ttyS1", 4);
  tree.Add8250("ttyS2", 0);
  tree.Add8250("ttyS3", 0);
  tree.AddUsbSerial("ttyUSB0", "1-2", "FT232R USB UART", "A50285BI");
  tree.AddAcm("ttyACM0", "1-3", "Siemens: C35i modem");

  EXPECT_EQ(Discover(tree, {"COM1"}), (Names{"ttyACM0", "ttyS1", "ttyUSB0"}));
  // The description is what sysfs knows; a colon in it does not cut the name.
  EXPECT_EQ(Entries(tree), (Names{"ttyACM0: Siemens: C35i modem", "ttyS1:", "ttyUSB0: FT232R USB UART A50285BI"}));
}

TEST(SysfsPorts, TextOrder) {
  FakeTree tree;
  for (const char* n : {"ttyS2", "ttyS10", "ttyS0", "ttyS1"}) tree.Add8250(n, 4);
  EXPECT_EQ(Discover(tree), (Names{"ttyS0", "ttyS1", "ttyS10", "ttyS2"}));
}

TEST(SysfsPorts, PortsWithoutDeviceNodeAreLeftOut) {
  FakeTree tree;
  tree.Add8250("ttyS0", 4);
  tree.Add8250("ttyS1", 4, /*node=*/false);
  tree.Add8250("ttyS2", 4);
  EXPECT_EQ(Discover(tree), (Names{"ttyS0", "ttyS2"}));
}

TEST(SysfsPorts, ConsoleFromEitherList) {
  FakeTree tree;
  for (const char* n : {"ttyS0", "ttyS1", "ttyS2"}) tree.Add8250(n, 4);
  tree.ActiveConsoles("ttyS1\n");
  EXPECT_EQ(Discover(tree), (Names{"ttyS0", "ttyS2"}));
  tree.ProcConsoles("ttyS2                -W- (EC  p a)    4:66\n");
  EXPECT_EQ(Discover(tree), (Names{"ttyS0"}));
}

TEST(SysfsPorts, DescriptionIsWindows1251AndCutTo255) {
  FakeTree tree;
  tree.AddUsbSerial("ttyUSB0", "1-1", "Модем ЯРВ", "");
  tree.AddUsbSerial("ttyUSB1", "1-4", std::string(300, 'p'), "42");
  const Names entries = Entries(tree);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], "ttyUSB0: " + toolkit::Cp1251("Модем ЯРВ"));
  EXPECT_EQ(entries[1], "ttyUSB1: " + std::string(255, 'p'));
  EXPECT_EQ(Discover(tree), (Names{"ttyUSB0", "ttyUSB1"}));
}

TEST(SysfsPorts, NothingAtAll) {
  FakeTree tree;
  tree.AddVirtual("tty0");
  tree.AddVirtual("ptmx");
  EXPECT_TRUE(Discover(tree, {"ttyS0", "ttyS1"}).empty());
}

TEST(SysfsPorts, UnreadableTreeGivesAnEmptyList) {
  FakeTree tree;
  tree.Add8250("ttyS0", 4);
  serial::SysfsPortSystem::Layout layout = tree.Layout();
  layout.sysfs = layout.sysfs / "missing";
  serial::SysfsPortSystem missing(layout);
  std::vector<serial::PortRecord> records;
  EXPECT_FALSE(missing.EnumPorts(records));
  Names list{"ttyS0"};
  serial::GetComPorts(missing, list);
  EXPECT_TRUE(list.empty());

  // class/tty that is no directory
  fs::remove_all(tree.Sys() / "class" / "tty");
  std::ofstream(tree.Sys() / "class" / "tty") << "x";
  EXPECT_TRUE(Discover(tree, {"ttyS0"}).empty());
}

TEST(SysfsPorts, DeviceNamesStayInsideTheDeviceDirectory) {
  FakeTree tree;
  tree.Node("ttyS0");
  serial::SysfsPortSystem ports(tree.Layout());
  EXPECT_TRUE(ports.DeviceExists("ttyS0"));
  EXPECT_FALSE(ports.DeviceExists("ttyS1"));
  EXPECT_FALSE(ports.DeviceExists("../dev/ttyS0"));
  EXPECT_FALSE(ports.DeviceExists(".."));
  EXPECT_FALSE(ports.DeviceExists(""));
}

}  // namespace
