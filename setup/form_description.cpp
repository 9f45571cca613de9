#include "setup/form_description.h"

#include <array>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace setup {
namespace {

constexpr int kEditHeight = 21;
constexpr int kWaitLabelHeight = 13, kGaugeHeight = 76;

using K = ControlKind;
constexpr ControlDescription kControls[] = {
    {"CBcom", K::PortBox, {32, 16, 145, kEditHeight}, ""},
    {"LAcom", K::StatusLabel, {210, 20, 60, 13}, "LAcom"},
    {"LEpin", K::Edit, {32, 64, 65, kEditHeight}, "4739", "PIN код"},
    {"BBB", K::Button, {32, 104, 97, 41}, "НАЧАТЬ"},
    {"BBE", K::Button, {32, 176, 121, 41}, "ОСТАНОВИТЬ"},
    // Hidden, so it keeps 5.
    {"SEw", K::SpinEdit, {32, 152, 49, 22}, "5", {}, "интервал ожидания, сек", true, false, 5, 30},
    {"LEPUK", K::Edit, {32, 240, 65, kEditHeight}, "31570946", "PUK код", "набрать и нажать Enter", false},
    {"LEHT", K::Edit, {32, 280, 121, kEditHeight}, "", "КОМАНДА", "ГИПЕРТЕРМИНАЛ", false},
    {"CBpuk", K::CheckBox, {8, 240, 17, 17}, ""},
    {"CBht", K::CheckBox, {8, 280, 17, 17}, ""},
    {"RGDTR", K::DtrGroup, {136, 48, 257, 105}, "режим передачи данных (DTR)"},
    {"CBsend", K::CheckBox, {264, 155, 129, 17}, "передающий модем", {}, "для модемов, передающих от компьютера  "},
};

constexpr WindowDescription kWindow{"ЗОРВИК", {60, 192, 739, 480}, 305, 3, 30, 1, "дв.щ-очистить ctrl+щ-записать",
                                    13, 3};

constexpr std::array<std::string_view, kDtrItemCount> kDtrItems = {
    "AT&&D0 (только для КВАРТИРНЫХ)", "AT&&D1 (универсальный, но  медлительный)", "AT&&D2 (только для ПРОМЫШЛЕННЫХ)"};

}  // namespace

const WindowDescription& MainWindow() { return kWindow; }

std::span<const ControlDescription> MainControls() { return kControls; }

const ControlDescription& MainControl(std::string_view name) {
  for (const ControlDescription& c : MainControls())
    if (c.name == name) return c;
  throw std::logic_error("no control " + std::string(name));
}

std::string_view DtrItemText(int index) {
  return index >= 0 && index < kDtrItemCount ? kDtrItems[size_t(index)] : std::string_view();
}

Box DtrItemBox(int index) { return {4, 18 + index * 28, 251, 20}; }

Box WaitLabelBox(int panelWidth, int panelHeight, int dpi) {
  const int gauge = Scaled(kGaugeHeight, dpi), label = Scaled(kWaitLabelHeight, dpi);
  return {0, panelHeight - gauge - label, panelWidth, label};
}

Box GaugeBox(int panelWidth, int panelHeight, int dpi) {
  const int gauge = Scaled(kGaugeHeight, dpi);
  return {0, panelHeight - gauge, panelWidth, gauge};
}

int Scaled(int length, int dpi) {
  const long long product = (long long)length * dpi;
  const long long rounded = (std::llabs(product) + 48) / 96;
  return int(product < 0 ? -rounded : rounded);
}

Box Scaled(const Box& box, int dpi) {
  return {Scaled(box.x, dpi), Scaled(box.y, dpi), Scaled(box.width, dpi), Scaled(box.height, dpi)};
}

}  // namespace setup
