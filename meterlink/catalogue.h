// The ЯРВ К27 calculator's data blocks as records: device records, the block
// descriptions with their field lists, and the name tables. Built at start-up
// (MeterLinkStartup, ucv.h); nothing in this program encodes or decodes a block.
// Texts are Windows-1251.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "meterlink/comma_text.h"

namespace meterlink {

// A device the blocks address.
class TCustomUnit {
 public:
  TCustomUnit();

  uint8_t DeviceType = 0;
  int16_t Param1 = 0;
  int16_t Param2 = 0;
  int16_t Param3 = 0;
  int16_t Param4 = 0;
  int16_t Param5 = 0;
  int16_t Param6 = 0;
  std::string Name;  // "Виртуальное"
  std::string Text1;
  std::string Text2;
  std::string Text3;
  std::string Text4;
  // Shared by every unit CopyFrom made from this one; it lives as long as
  // any of them.
  std::shared_ptr<TStringList> Items;
  bool Flag = true;

  // Takes everything from Source except Text1 and Text4, which stay; Items
  // becomes Source's list itself, not a copy of it.
  void CopyFrom(const TCustomUnit& Source);
};

// The description of one block.
class TcustomCMD {
 public:
  TcustomCMD();

  uint8_t CommandNumber = 0;
  std::string FieldNames;  // comma-text, each name quoted
  std::string FieldTypes;  // comma-text parallel to FieldNames
  std::string Extra1;
  std::string Extra2;
  std::string Extra3;
  std::unique_ptr<TCustomUnit> Device;  // owned: goes with the command
  uint16_t BlockLength = 6;
};

// Bytes of a field type ("byte" 1, "word" 2, "single" 4, "word/10" 2; any
// letter case); 0 for a name that is none of these.
int FieldWidth(std::string_view type);

struct TCatalogue {
  std::unique_ptr<TCustomUnit> VirtualUnit;
  std::unique_ptr<TCustomUnit> CalculatorUnit;
  std::vector<std::unique_ptr<TCustomUnit>> UnitList;
  uint8_t UnitIndex = 0;

  // In the order they are made.
  std::unique_ptr<TcustomCMD> EmptyCommand;
  std::unique_ptr<TcustomCMD> HeaderOnlyCommand;
  std::unique_ptr<TcustomCMD> ArchiveRequestCommand;
  std::unique_ptr<TcustomCMD> CurrentValuesCommand;
  std::unique_ptr<TcustomCMD> SettingsCommand;
  std::unique_ptr<TcustomCMD> ArchiveNumbersCommand;
  std::unique_ptr<TcustomCMD> ArchiveRecordCommand;

  // Filled after the link is up (the last step of start-up).
  TStringList HeatSystemTypes;
};

// The units, the unit list and the seven commands; HeatSystemTypes empty.
std::unique_ptr<TCatalogue> BuildCatalogue();
void FillHeatSystemTypes(TStringList& list);

// Constant name tables.
const std::array<std::string, 2>& ArchiveKindNames();
const std::array<std::string, 6>& DriveTypeNames();

}  // namespace meterlink
