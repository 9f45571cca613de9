#include "version/elf_section.h"

#include <fstream>
#include <vector>

namespace version {

namespace {

constexpr uint32_t kNoBits = 8;      // SHT_NOBITS: no bytes in the file
constexpr uint32_t kExtIndex = 0xFFFF;  // SHN_XINDEX

class ElfFile {
 public:
  explicit ElfFile(const std::string& path) : in_(path, std::ios::binary) {
    if (in_) {
      in_.seekg(0, std::ios::end);
      const std::streamoff end = in_.tellg();
      size_ = end > 0 ? uint64_t(end) : 0;
    }
  }

  // Bytes [at, at + n), all inside the file, or nothing.
  bool Read(uint64_t at, void* to, uint64_t n) {
    if (at > size_ || n > size_ - at) return false;
    in_.clear();
    in_.seekg(std::streamoff(at));
    in_.read(static_cast<char*>(to), std::streamsize(n));
    return bool(in_);
  }

  uint64_t Size() const { return size_; }

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
};

struct Layout {
  bool wide;  // ELFCLASS64
  bool big;   // ELFDATA2MSB
  uint64_t Get(const uint8_t* p, int n) const {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t(p[big ? n - 1 - i : i]) << (8 * i);
    return v;
  }
};

struct Section {
  uint32_t name, type, link;
  uint64_t offset, size;
};

std::optional<Section> ReadSection(ElfFile& file, const Layout& l, uint64_t table, uint64_t entry, uint64_t index) {
  uint8_t h[64];
  const uint64_t need = l.wide ? 64 : 40;
  if (index > (file.Size() / entry) || !file.Read(table + index * entry, h, need)) return std::nullopt;
  Section s{};
  s.name = uint32_t(l.Get(h, 4));
  s.type = uint32_t(l.Get(h + 4, 4));
  if (l.wide) {
    s.offset = l.Get(h + 24, 8);
    s.size = l.Get(h + 32, 8);
    s.link = uint32_t(l.Get(h + 40, 4));
  } else {
    s.offset = l.Get(h + 16, 4);
    s.size = l.Get(h + 20, 4);
    s.link = uint32_t(l.Get(h + 24, 4));
  }
  return s;
}

}  // namespace

std::optional<FileSection> FindElfSection(const std::string& path, std::string_view name) {
  ElfFile file(path);
  uint8_t e[64];
  if (!file.Read(0, e, 52)) return std::nullopt;  // the smaller, 32-bit header
  if (e[0] != 0x7F || e[1] != 'E' || e[2] != 'L' || e[3] != 'F') return std::nullopt;
  if ((e[4] != 1 && e[4] != 2) || (e[5] != 1 && e[5] != 2)) return std::nullopt;
  const Layout l{e[4] == 2, e[5] == 2};
  if (l.wide && !file.Read(0, e, 64)) return std::nullopt;
  const uint64_t table = l.wide ? l.Get(e + 0x28, 8) : l.Get(e + 0x20, 4);
  const uint64_t entry = l.wide ? l.Get(e + 0x3A, 2) : l.Get(e + 0x2E, 2);
  uint64_t count = l.wide ? l.Get(e + 0x3C, 2) : l.Get(e + 0x30, 2);
  uint64_t names = l.wide ? l.Get(e + 0x3E, 2) : l.Get(e + 0x32, 2);
  if (table == 0 || table > file.Size() || entry < (l.wide ? 64u : 40u)) return std::nullopt;

  // Many sections: the real count and name-table index sit in section 0.
  if (count == 0 || names == kExtIndex) {
    const std::optional<Section> first = ReadSection(file, l, table, entry, 0);
    if (!first) return std::nullopt;
    if (count == 0) count = first->size;
    if (names == kExtIndex) names = first->link;
  }
  if (names >= count || count > (file.Size() - table) / entry) return std::nullopt;  // table past the end
  const std::optional<Section> strings = ReadSection(file, l, table, entry, names);
  if (!strings || strings->type == kNoBits || strings->offset > file.Size() ||
      strings->size > file.Size() - strings->offset)
    return std::nullopt;

  std::vector<uint8_t> wanted(name.begin(), name.end());
  wanted.push_back(0);
  std::vector<uint8_t> got(wanted.size());
  for (uint64_t i = 0; i < count; ++i) {
    const std::optional<Section> s = ReadSection(file, l, table, entry, i);
    if (!s) return std::nullopt;
    if (s->name >= strings->size || wanted.size() > strings->size - s->name) continue;
    if (!file.Read(strings->offset + s->name, got.data(), got.size()) || got != wanted) continue;
    if (s->type == kNoBits || s->offset > file.Size() || s->size > file.Size() - s->offset) return std::nullopt;
    return FileSection{s->offset, s->size};
  }
  return std::nullopt;
}

}  // namespace version
