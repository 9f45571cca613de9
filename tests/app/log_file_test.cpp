// Saving the log where it cannot be written: a read-only directory, a full
// file system, a directory standing in the file's place. The error box names
// the file and the system's reason; the pane and an earlier good file stay
// as they were. Read-only and full file systems are made with mounts, which
// needs root (who ignores permission bits, so a chmod would prove nothing).
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

#include "app_rig.h"

using namespace testing_app;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh directory, unmounted and removed at the end.
struct Dir {
  std::string path;
  bool mounted = false;
  Dir() {
    char t[] = "/tmp/zorvik-logfile-XXXXXX";
    if (mkdtemp(t)) path = t;
  }
  ~Dir() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string File() const { return path + "/отчет.txt"; }
};

// The window with some lines in its pane and its log file in dir.
struct Saving {
  Rig r;
  explicit Saving(const Dir& dir) : r({}, dir.File()) {
    r.form->BBB->click();  // "Команда= ATI", "нет соединения с портом"
  }
  void Save() { QTest::mouseClick(r.form->MEset->viewport(), Qt::LeftButton, Qt::ControlModifier); }
  // Saving again fails: exactly one error box, naming the file and the reason.
  void ExpectFailure(const std::string& file, const std::vector<std::string>& reasons) {
    const std::vector<std::string> before = r.form->LogLines();
    const toolkit::TColor colour = r.form->LogColour();
    const size_t boxes = r.tk.Prompts().size();
    Save();
    ASSERT_EQ(r.tk.Prompts().size(), boxes + 1) << "no error box";
    const auto& box = r.tk.Prompts().back();
    EXPECT_TRUE(box.error);
    EXPECT_EQ(box.caption, W("ЗОРВИК"));
    const std::string text = toolkit::Utf8(box.message);
    std::printf("[ figures ] error box: %s\n", text.c_str());
    EXPECT_NE(text.find(file), std::string::npos) << text;
    bool named = false;
    for (const std::string& reason : reasons) named = named || text.find(reason) != std::string::npos;
    EXPECT_TRUE(named) << "the reason is not given: " << text;
    EXPECT_EQ(r.form->LogLines(), before);
    EXPECT_EQ(r.form->LogColour(), colour);
  }
};

bool Root() { return geteuid() == 0; }

}  // namespace

TEST(LogFile, ReadOnlyDirectoryKeepsTheEarlierFile) {
  if (!Root()) GTEST_SKIP() << "needs root to mount the directory read-only (root ignores permission bits)";
  Dir dir;
  Saving s(dir);
  s.Save();
  const std::string good = ReadAll(dir.File());
  ASSERT_EQ(good, W("Команда= ATI\r\r\nнет соединения с портом\r\n"));
  if (mount(dir.path.c_str(), dir.path.c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
  dir.mounted = true;
  ASSERT_EQ(mount(nullptr, dir.path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
      << std::strerror(errno);
  s.r.form->BBE->click();
  s.r.form->BBB->click();  // more lines in the pane than in the file
  s.ExpectFailure(dir.File(), {"Read-only file system", "read-only"});
  EXPECT_EQ(ReadAll(dir.File()), good);
  // The program goes on: the next save after the fault is gone works.
  umount2(dir.path.c_str(), 0);
  dir.mounted = false;
  s.Save();
  EXPECT_EQ(ReadAll(dir.File()).size(), good.size() * 2);
}

// A small tmpfs filled up: once out of blocks, once out of inodes (where not
// even the file that would replace the old one can be made).
TEST(LogFile, FullFileSystemKeepsTheEarlierFile) {
  if (!Root()) GTEST_SKIP() << "needs root to mount a small tmpfs";
  for (const char* options : {"size=64k,nr_inodes=64", "size=1m,nr_inodes=4"}) {
    SCOPED_TRACE(options);
    Dir dir;
    if (mount("tmpfs", dir.path.c_str(), "tmpfs", 0, options) != 0)
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    dir.mounted = true;
    Saving s(dir);
    s.Save();
    const std::string good = ReadAll(dir.File());
    ASSERT_FALSE(good.empty());
    // Fill it: blocks with one big file, inodes with empty ones.
    {
      std::ofstream fill(dir.path + "/fill", std::ios::binary);
      const std::string block(4096, 'x');
      for (int i = 0; i < 1024 && fill; ++i) fill.write(block.data(), block.size());
    }
    for (int i = 0; i < 100; ++i) std::ofstream(dir.path + "/i" + std::to_string(i)).put('x');
    for (int i = 0; i < 50; ++i) {  // a pane bigger than the room left
      s.r.form->BBE->click();
      s.r.form->BBB->click();
    }
    s.ExpectFailure(dir.File(), {"No space left on device", "space"});
    EXPECT_EQ(ReadAll(dir.File()), good);
  }
}

TEST(LogFile, DirectoryOfThatNameIsLeftAlone) {
  Dir dir;
  ASSERT_TRUE(std::filesystem::create_directory(dir.File()));
  std::ofstream(dir.File() + "/inside").put('x');
  Saving s(dir);
  s.ExpectFailure(dir.File(), {"directory", "Directory"});
  EXPECT_TRUE(std::filesystem::is_directory(dir.File()));
  EXPECT_EQ(ReadAll(dir.File() + "/inside"), "x");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);  // no stray temporary file
}
