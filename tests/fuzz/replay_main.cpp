// Runs a fuzz target's entry over files or directories of inputs, the way
// libFuzzer runs one input, without the fuzzer: the kept corpus as a test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {
bool Run(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  // A copy of its own, of exactly its size, so that a read past the end is
  // caught as it would be under the fuzzer.
  std::vector<uint8_t> exact(bytes);
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg(argv[i]);
    if (fs::is_directory(arg)) {
      std::vector<fs::path> files;
      for (const auto& e : fs::directory_iterator(arg))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (const fs::path& f : files) ok = Run(f) && ok, ++count;
    } else {
      ok = Run(arg) && ok;
      ++count;
    }
  }
  std::printf("%zu inputs replayed\n", count);
  // An empty corpus would make this test pass without looking at anything.
  return ok && count > 0 ? 0 : 1;
}
