// Linux discovery on sysfs trees made up in a temporary directory, laid out
// as current kernels do: 8250 ports under serial-base port devices, USB
// adapters and ACM modems under their USB devices, consoles and ptys under
// devices/virtual.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/port_system.h"
#include "toolkit/codepage.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class FakeTree {
 public:
  FakeTree() {
    fs::create_directories(sys_ / "class/tty");
    fs::create_directories(root_ / "dev");
  }
  ~FakeTree() { fs::remove_all(root_); }

  // type 0: a slot of the 8250 driver without a UART.
  void Add8250(const std::string& name, int type, bool node = true) {
    const std::string port = "serial8250:0." + name.substr(4);
    Tty(name, "devices/platform/serial8250/serial8250:0/" + port + "/tty/" + name, "../../../" + port);
    Write(sys_ / "class/tty" / name / "type", std::to_string(type) + "\n");
    if (node) Write(root_ / "dev" / name, "");
  }
  // A USB serial adapter (its tty one level below the interface) or an ACM
  // modem (its tty right on the interface); product and serial on the device.
  void AddUsb(const std::string& name, const std::string& usb, bool acm, const std::string& product,
              const std::string& number = "") {
    const std::string device = "devices/pci0000:00/0000:00:14.0/usb1/" + usb;
    const std::string iface = device + "/" + usb + ":1.0";
    Tty(name, (acm ? iface : iface + "/" + name) + "/tty/" + name, acm ? "../../../" + usb + ":1.0" : "../../../" + name);
    Write(sys_ / device / "product", product + "\n");
    if (!number.empty()) Write(sys_ / device / "serial", number + "\n");
    Write(root_ / "dev" / name, "");
  }
  // Consoles, ptys: no device link, but a device node.
  void AddVirtual(const std::string& name) {
    fs::create_directories(sys_ / "devices/virtual/tty" / name);
    fs::create_symlink("../../devices/virtual/tty/" + name, sys_ / "class/tty" / name);
    Write(root_ / "dev" / name, "");
  }
  void ActiveConsoles(const std::string& text) {
    if (!fs::exists(sys_ / "class/tty/console")) AddVirtual("console");
    Write(sys_ / "class/tty/console/active", text);
  }
  void ProcConsoles(const std::string& text) { Write(root_ / "consoles", text); }

  Names Discover(Names list = {"ttyS9"}) const {
    serial::SysfsPortSystem ports({sys_, root_ / "dev", root_ / "consoles"});
    serial::GetComPorts(ports, list);
    return list;
  }
  Names Entries() const {
    serial::SysfsPortSystem ports({sys_, root_ / "dev", root_ / "consoles"});
    Names entries;
    serial::EnumSystemComPorts(ports, entries);
    return entries;
  }

  const fs::path root_ = [] {
    std::string pattern = (fs::temp_directory_path() / "zorvik-sysfs-XXXXXX").string();
    return fs::path(mkdtemp(pattern.data()));
  }();
  const fs::path sys_ = root_ / "sys";

 private:
  void Tty(const std::string& name, const std::string& dir, const std::string& deviceLink) {
    fs::create_directories(sys_ / dir / deviceLink);
    fs::create_symlink(deviceLink, sys_ / dir / "device");
    fs::create_symlink("../../" + dir, sys_ / "class/tty" / name);
  }
  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }
};

// A machine as found: the kernel console on ttyS0, 8250 slots without UART,
// a port without device node, a USB adapter, an ACM modem, consoles, ptys.
TEST(SysfsPorts, TypicalMachine) {
  FakeTree tree;
  for (const char* v : {"tty", "tty0", "tty63", "ptmx", "ptyp0", "ttyp0"}) tree.AddVirtual(v);
  tree.ActiveConsoles("tty0 ttyS0\n");
  tree.ProcConsoles("ttyS0                -W- (EC  p a)    4:64\ntty0                 -WU (E  p  )    4:1\n");
  for (const char* n : {"ttyS0", "ttyS1", "ttyS10", "ttyS2"}) tree.Add8250(n, 4);
  tree.Add8250("ttyS3", 0);
  tree.Add8250("ttyS4", 0);
  tree.Add8250("ttyS5", 4, /*node=*/false);
  tree.AddUsb("ttyUSB0", "1-2", false, "FT232R USB UART", "A50285BI");
  tree.AddUsb("ttyACM0", "1-3", true, "Модем: C35i");
  tree.AddUsb("ttyUSB1", "1-4", false, std::string(300, 'p'));

  EXPECT_EQ(tree.Discover(), (Names{"ttyACM0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB0", "ttyUSB1"}));
  // In the source's order; descriptions in Windows-1251, cut to 255.
  EXPECT_EQ(tree.Entries(), (Names{toolkit::Cp1251("ttyACM0: Модем: C35i"), "ttyS10:", "ttyS1:", "ttyS2:", "ttyS5:",
                                   "ttyUSB0: FT232R USB UART A50285BI", "ttyUSB1: " + std::string(255, 'p')}));
}

TEST(SysfsPorts, ConsoleFromEitherList) {
  FakeTree tree;
  for (const char* n : {"ttyS0", "ttyS1", "ttyS2"}) tree.Add8250(n, 4);
  tree.ActiveConsoles("ttyS1\n");
  EXPECT_EQ(tree.Discover(), (Names{"ttyS0", "ttyS2"}));
  tree.ProcConsoles("ttyS2                -W- (EC  p a)    4:66\n");
  EXPECT_EQ(tree.Discover(), (Names{"ttyS0"}));
}

TEST(SysfsPorts, NothingOrAnUnreadableTreeGivesAnEmptyList) {
  FakeTree tree;
  tree.AddVirtual("tty0");
  EXPECT_TRUE(tree.Discover().empty());

  tree.Add8250("ttyS0", 4);
  serial::SysfsPortSystem missing({tree.root_ / "nothing", tree.root_ / "dev", tree.root_ / "consoles"});
  Names list{"ttyS0"};
  serial::GetComPorts(missing, list);
  EXPECT_TRUE(list.empty());
  fs::remove_all(tree.sys_ / "class/tty");  // no directory where the ttys should be
  std::ofstream(tree.sys_ / "class/tty") << "x";
  EXPECT_TRUE(tree.Discover().empty());
}

}  // namespace
