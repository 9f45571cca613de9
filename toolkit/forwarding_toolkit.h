// A toolkit that passes everything on to another: the base of decorators
// that change one thing (what the operator's answer to a prompt does, how
// the passes of the loop are counted).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include "toolkit/toolkit.h"

namespace toolkit {

class ForwardingToolkit : public Toolkit {
 public:
  explicit ForwardingToolkit(Toolkit& inner) : inner_(inner) {}

  uint32_t TickCount() override { return inner_.TickCount(); }
  std::unique_ptr<Timer> CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) override {
    return inner_.CreateTimer(intervalMs, std::move(onTimer));
  }
  void ProcessEvents() override { inner_.ProcessEvents(); }
  void WaitForEvents(uint32_t maxMs) override { inner_.WaitForEvents(maxMs); }
  void ShowMessage(std::string_view caption, std::string_view message) override {
    inner_.ShowMessage(caption, message);
  }
  void ShowError(std::string_view caption, std::string_view message) override { inner_.ShowError(caption, message); }
  bool OnMainThread() const override { return inner_.OnMainThread(); }

 protected:
  Toolkit& inner_;
};

}  // namespace toolkit
