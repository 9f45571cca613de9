#include "toolkit/toolkit.h"

namespace toolkit {

void WaitMilliseconds(Toolkit& tk, uint32_t ms) {
  const uint32_t t0 = tk.TickCount();
  for (uint32_t passed; (passed = tk.TickCount() - t0) < ms;) tk.WaitForEvents(ms - passed);
}

}  // namespace toolkit
