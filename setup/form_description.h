// The main window as a description both windows are built from: the outer
// window, and each control of the right-hand panel PAmain with its place and
// size at 96 DPI, caption, first text, tooltip and state, in the tab order.
// Texts are UTF-8; each window converts them as its toolkit wants.
#pragma once

#include <span>
#include <string_view>

namespace setup {

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};

enum class ControlKind {
  PortBox,     // an editable drop-down list
  StatusLabel, // a label as wide as its text
  Edit,        // a one-line edit box
  Button,      // a push button with a picture left of its caption
  SpinEdit,    // a number with arrows
  CheckBox,
  DtrGroup,    // a frame holding the DTR items, one tab stop among them
};

struct ControlDescription {
  std::string_view name;
  ControlKind kind;
  Box box;                     // in PAmain, at 96 DPI
  std::string_view text;       // the caption, or the box's first text
  std::string_view label = {}; // a caption 3 pixels above the box
  std::string_view tooltip = {};
  bool enabled = true;
  bool visible = true;
  int minimum = 0, maximum = 0;  // SpinEdit
};

struct WindowDescription {
  std::string_view caption;
  Box outer;          // place and outer size at 96 DPI, the frame included
  int memoWidth;      // the log pane's panel PAmemo, left of the splitter
  int splitterWidth;
  int minimumPane;    // neither panel narrower while the window leaves room
  int memoBorder;     // the log pane inside its panel
  std::string_view memoTooltip;
  int labelHeight;    // the caption above a box
  int labelGap;
};

const WindowDescription& MainWindow();
// PAmain's controls in the tab order (labels are no tab stops).
std::span<const ControlDescription> MainControls();
// One of them by name; the program's own names only.
const ControlDescription& MainControl(std::string_view name);

// RGDTR's items: the stored texts double the ampersand, which a button shows
// as one; the place of each inside the group.
constexpr int kDtrItemCount = 3;
std::string_view DtrItemText(int index);
Box DtrItemBox(int index);
constexpr int kDtrItemChosen = 1;

// The wait label Lw and the gauge Gw under it, across the bottom of a panel
// of this size in pixels, their heights scaled to the display's DPI.
Box WaitLabelBox(int panelWidth, int panelHeight, int dpi = 96);
Box GaugeBox(int panelWidth, int panelHeight, int dpi = 96);

// A length at 96 DPI on a display of this DPI, rounded as Windows does.
int Scaled(int length, int dpi);
Box Scaled(const Box& box, int dpi);

}  // namespace setup
