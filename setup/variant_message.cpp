#include "setup/variant_message.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "setup/setup_form.h"
#include "toolkit/c_library.h"
#include "toolkit/codepage.h"

namespace setup {
namespace {

std::string CurrencyText(int64_t tenThousandths) {
  const bool negative = tenThousandths < 0;
  const uint64_t magnitude = negative ? 0 - uint64_t(tenThousandths) : uint64_t(tenThousandths);
  // Appended, not prefixed: GCC 12 warns falsely (-Wrestrict) on the 32-bit
  // build of "-" + string.
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 10000);
  if (uint64_t frac = magnitude % 10000) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", unsigned(frac));
    std::string f = digits;
    while (f.back() == '0') f.pop_back();
    text += "." + f;
  }
  return text;
}

// Days since 1899-12-30, local time as it stands: the date in the system's
// short date format, the time (left out at midnight) in its long format.
std::string DateText(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 3e6) return std::string();
  const double seconds = std::round((days - 25569.0) * 86400.0);
  const time_t t = time_t(seconds);
  const std::tm tm = toolkit::UtcCalendar(t);
  char buf[128];
  const bool midnight = tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
  const size_t n = std::strftime(buf, sizeof buf, midnight ? "%x" : "%x %X", &tm);
  return toolkit::Cp1251OfCLibraryText(std::string_view(buf, n));
}

}  // namespace

std::string VariantText(const Variant& v) {
  switch (v.VType) {
    case varSmallint: case varInteger: case varShortInt: case varByte:
    case varWord: case varLongWord: case varInt64:
      return std::to_string(int32_t(uint32_t(uint64_t(v.Int))));
    case varCurrency:
      return CurrencyText(v.Int);
    case varString:
      return v.Text;
    case varDate:
      return DateText(v.Real);
    case varDouble: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", v.Real);
      return buf;
    }
    case varBoolean:
      return v.Bool ? "TRUE" : "F A L S E";
    default:
      return toolkit::Cp1251("НЕ ОПОЗНАНЫЙ ВАРИЯНТ");
  }
}

void ShowVariantMessage(toolkit::Toolkit& tk, const Variant& value, const std::string& prefix,
                        const std::string& suffix) {
  tk.ShowMessage(ApplicationTitle(), prefix + VariantText(value) + suffix);
}

}  // namespace setup
