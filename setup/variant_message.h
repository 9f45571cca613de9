// The operator prompt: a value shown in the toolkit's modal message box.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "toolkit/toolkit.h"

namespace setup {

// Variant type codes.
enum VarType : uint16_t {
  varEmpty = 0, varNull = 1, varSmallint = 2, varInteger = 3, varSingle = 4, varDouble = 5,
  varCurrency = 6, varDate = 7, varOleStr = 8, varBoolean = 11, varVariant = 12, varShortInt = 16,
  varByte = 17, varWord = 18, varLongWord = 19, varInt64 = 20, varString = 256
};

struct Variant {
  uint16_t VType = varEmpty;
  int64_t Int = 0;        // integer kinds; currency in ten-thousandths
  double Real = 0;        // double; date as days since 1899-12-30
  bool Bool = false;
  std::string Text;       // Windows-1251

  static Variant FromText(std::string text) { Variant v; v.VType = varString; v.Text = std::move(text); return v; }
  static Variant FromInt(uint16_t type, int64_t value) { Variant v; v.VType = type; v.Int = value; return v; }
  static Variant FromReal(uint16_t type, double value) { Variant v; v.VType = type; v.Real = value; return v; }
  static Variant FromBool(bool value) { Variant v; v.VType = varBoolean; v.Bool = value; return v; }
};

// The value as the prompt shows it.
std::string VariantText(const Variant& value);

// A modal box captioned with the application title, no icon, one button
// "ЛАДНО"; returns when the operator presses it.
void ShowVariantMessage(toolkit::Toolkit& tk, const Variant& value, const std::string& prefix,
                        const std::string& suffix);

}  // namespace setup
