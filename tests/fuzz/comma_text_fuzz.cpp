// The comma-text reader on any bytes, and the writer on any list of items:
// reading what was written gives the items back.
//   first byte even: the rest is a comma-text;
//   first byte odd:  the rest is items, each a length byte and its bytes.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "meterlink/catalogue.h"
#include "meterlink/comma_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  using meterlink::MakeCommaText;
  using meterlink::ParseCommaText;

  if ((data[0] & 1) == 0) {
    const std::vector<std::string> items = ParseCommaText(rest);
    size_t bytes = 0;
    for (const std::string& item : items) {
      bytes += item.size();
      // A field type list is read this way too.
      const int width = meterlink::FieldWidth(item);
      FUZZ_CHECK(width == 0 || width == 1 || width == 2 || width == 4);
    }
    // Items are made of the text's own bytes, a doubled quote giving one.
    FUZZ_CHECK(bytes <= rest.size());
    // Every comma separates two items, so there is at most one item more
    // than commas, and no item at all only for a blank text.
    FUZZ_CHECK(items.empty() == (rest.find_first_not_of(std::string_view("\0\x01\x02\x03\x04\x05\x06\x07\x08\t\n\x0b\x0c\r\x0e\x0f"
                                                                          "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f ",
                                                                          33)) == std::string_view::npos));
    // Written out again, the items read back the same.
    FUZZ_CHECK(ParseCommaText(MakeCommaText(items)) == items);
    meterlink::TStringList list;
    list.SetCommaText(rest);
    FUZZ_CHECK(list.Strings == items);
    return 0;
  }

  std::vector<std::string> items;
  for (size_t p = 0; p < rest.size();) {
    const size_t n = static_cast<unsigned char>(rest[p++]);
    items.emplace_back(rest.substr(p, n));
    p += std::min(n, rest.size() - p);
  }
  const std::string text = MakeCommaText(items);
  FUZZ_CHECK(ParseCommaText(text) == items);
  return 0;
}
