// The Win32 window's class name and the control identifiers of its children
// (GetDlgCtrlID), as UI automation finds them: the main window is a top-level
// window of class "TForm1"; its controls are children of the panels PAmemo
// and PAmain, every one with a distinct identifier.
#pragma once

namespace app::win32 {

constexpr wchar_t kFormClass[] = L"TForm1";

enum ControlId : int {
  idPAmemo = 100,
  idPAmain,
  idMEset,
  idCBcom,
  idLAcom,
  idLEpin,
  idBBB,
  idBBE,
  idSEw,
  idCBpuk,
  idLEPUK,
  idCBht,
  idLEHT,
  idRGDTR,        // the group's frame
  idRGDTRItem0,   // its three items, in order
  idRGDTRItem1,
  idRGDTRItem2,
  idCBsend,
  idLw,
  idGw,
};

}  // namespace app::win32
