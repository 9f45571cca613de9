// The mobile equipment errors the modem reports (+CME ERROR), by the
// numbers GSM 07.07 gives them.
#pragma once

namespace modemsim {

enum class CmeError {
  None = -1,  // a plain ERROR
  OperationNotAllowed = 3,
  OperationNotSupported = 4,
  SimNotInserted = 10,
  SimPinRequired = 11,
  SimPukRequired = 12,
  SimFailure = 13,
  IncorrectPassword = 16,
};

// The verbose form (AT+CMEE=2).
inline const char* CmeText(CmeError e) {
  switch (e) {
    case CmeError::OperationNotAllowed: return "operation not allowed";
    case CmeError::OperationNotSupported: return "operation not supported";
    case CmeError::SimNotInserted: return "SIM not inserted";
    case CmeError::SimPinRequired: return "SIM PIN required";
    case CmeError::SimPukRequired: return "SIM PUK required";
    case CmeError::SimFailure: return "SIM failure";
    case CmeError::IncorrectPassword: return "incorrect password";
    case CmeError::None: break;
  }
  return "unknown";
}

}  // namespace modemsim
