// The calculator's block catalogue, device records and name tables as
// start-up builds them, and the library's start-up and shutdown.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "meterlink/ucv.h"
#include "testing/sim_serial.h"
#include "toolkit/codepage.h"
#include "testing/sim_toolkit.h"

using namespace meterlink;
using toolkit::Utf8;

namespace {

class Started : public ::testing::Test {
 protected:
  Started() : platform(tk) { MeterLinkStartup(tk, platform); }
  ~Started() override { MeterLinkShutdown(); }
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform;
};

}  // namespace

TEST_F(Started, BlockTablesParseToTheirFieldCountsAndLengths) {
  EXPECT_EQ(FieldWidth("Byte") + FieldWidth("WORD") + FieldWidth("word/10") + FieldWidth("single"), 9);
  EXPECT_EQ(FieldWidth("dword"), 0);

  const TCatalogue& c = *Catalogue();
  struct Want {
    const TcustomCMD* cmd;
    size_t fields;
    int width;
    uint16_t length;
  };
  // The archive record is the one block whose declared length and field
  // widths disagree (166 against 165); the catalogue keeps the declared one.
  const Want wants[] = {{c.HeaderOnlyCommand.get(), 5, 6, 6},       {c.ArchiveRequestCommand.get(), 6, 8, 8},
                        {c.CurrentValuesCommand.get(), 32, 105, 105}, {c.SettingsCommand.get(), 27, 46, 46},
                        {c.ArchiveNumbersCommand.get(), 8, 10, 10},   {c.ArchiveRecordCommand.get(), 55, 165, 166}};
  for (const Want& w : wants) {
    const std::vector<std::string> names = ParseCommaText(w.cmd->FieldNames);
    const std::vector<std::string> types = ParseCommaText(w.cmd->FieldTypes);
    SCOPED_TRACE("block of " + std::to_string(w.fields) + " fields");
    EXPECT_EQ(names.size(), w.fields);
    EXPECT_EQ(types.size(), w.fields);
    int width = 0;
    for (const std::string& t : types) {
      EXPECT_GT(FieldWidth(t), 0) << t;
      width += FieldWidth(t);
    }
    EXPECT_EQ(width, w.width);
    EXPECT_EQ(w.cmd->BlockLength, w.length);
    ASSERT_FALSE(names.empty());
    EXPECT_TRUE(Utf8(names.back()) == "LRC(КС)" || Utf8(names.back()) == "КС");
  }
  EXPECT_EQ(c.EmptyCommand->BlockLength, 6);
  EXPECT_TRUE(ParseCommaText(c.EmptyCommand->FieldNames).empty());
  EXPECT_TRUE(ParseCommaText(c.EmptyCommand->FieldTypes).empty());
  EXPECT_EQ(c.ArchiveRequestCommand->CommandNumber, 3);
  EXPECT_EQ(c.ArchiveRequestCommand->Device->DeviceType, 5);
  EXPECT_EQ(c.SettingsCommand->Device->DeviceType, 0);  // each command has its own device
}

TEST_F(Started, NamesAreWindows1251AndQuotedWhereTheyHoldCommasOrBlanks) {
  const TCatalogue& c = *Catalogue();
  const std::vector<std::string> record = ParseCommaText(c.ArchiveRecordCommand->FieldNames);
  EXPECT_EQ(Utf8(record[4]), "Время работы,час");                // one item, not two
  EXPECT_EQ(Utf8(record[44]), "Время  малой dt°С за ОП 1 сист");  // the doubled blank stays
  EXPECT_EQ(record[0].size(), 9u);  // "Дл. блока", one byte a letter
  const std::vector<std::string> settings = ParseCommaText(c.SettingsCommand->FieldNames);
  EXPECT_EQ(Utf8(settings[4]), "вес импульса 1-го расходомера 1-й системы, 10*импульс/литр");
  EXPECT_EQ(ParseCommaText(c.SettingsCommand->FieldTypes)[0], "Byte");  // spelt as documented

  const TStringList& heat = c.HeatSystemTypes;
  ASSERT_EQ(heat.Count(), 4u);
  EXPECT_EQ(Utf8(heat[0]), "Закрытая, расходомер на подаче");
  EXPECT_EQ(Utf8(heat[1]), "закрытая, расходомер на обратке");
  EXPECT_EQ(Utf8(heat[3]), "Открытая тупиковая");
  EXPECT_EQ(Utf8(ArchiveKindNames()[1]), "СУТОЧНЫЙ");
  EXPECT_EQ(Utf8(DriveTypeNames()[5]), "локальный");
}

TEST_F(Started, UnitsAndTheUnitList) {
  const TCatalogue& c = *Catalogue();
  EXPECT_EQ(Utf8(c.VirtualUnit->Name), "Виртуальное");
  EXPECT_TRUE(c.VirtualUnit->Flag);
  ASSERT_EQ(c.UnitList.size(), 2u);
  EXPECT_EQ(c.UnitList[0]->DeviceType, 0);
  EXPECT_NE(c.UnitList[0]->Items, c.VirtualUnit->Items);  // a new unit, a list of its own
  const TCustomUnit& copy = *c.UnitList[1];
  EXPECT_EQ(copy.DeviceType, 5);
  EXPECT_EQ(copy.Param2, 61);
  EXPECT_EQ(copy.Param3, 959);
  EXPECT_EQ(Utf8(copy.Name), "ЯРВ К27");
  EXPECT_EQ(copy.Items, c.CalculatorUnit->Items);
}

TEST(CustomUnit, CopyFromSharesItemsAndKeepsText1AndText4) {
  auto source = std::make_unique<TCustomUnit>();
  source->Param1 = -3;
  source->Name = "src";
  source->Text1 = "s1";
  source->Text2 = "s2";
  source->Text4 = "s4";
  source->Flag = false;
  TCustomUnit copy;
  copy.Text1 = "c1";
  copy.Text4 = "c4";
  std::weak_ptr<TStringList> ownList = copy.Items;
  copy.CopyFrom(*source);
  EXPECT_EQ(copy.Param1, -3);
  EXPECT_EQ(copy.Name, "src");
  EXPECT_EQ(copy.Text1 + copy.Text2 + copy.Text4, "c1s2c4");
  EXPECT_FALSE(copy.Flag);
  EXPECT_TRUE(ownList.expired());  // nothing holds the copy's first list any more

  source->Items->Add("one");
  copy.Items->Add("two");
  EXPECT_EQ(source->Items->CommaText(), "one,two");
  // The list outlives the unit it came from.
  source.reset();
  copy.Items->Add("three");
  EXPECT_EQ(copy.Items->CommaText(), "one,two,three");
  EXPECT_EQ(copy.Items.use_count(), 1);
}

TEST(MeterLinkLifecycle, StartupOnceShutdownFreesAndThePortStaysClosed) {
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform(tk);
  serial::SimPort& com2 = platform.AddPort("\\\\.\\COM2");
  EXPECT_EQ(Link(), nullptr);
  Dial();  // before start-up: nothing, no crash
  MeterLinkShutdown();

  MeterLinkStartup(tk, platform);
  TCatalogue* catalogue = Catalogue();
  TLink* link = Link();
  ASSERT_TRUE(catalogue && link);
  link->AttemptCount = 9;
  MeterLinkStartup(tk, platform);  // a second call does nothing
  EXPECT_EQ(Catalogue(), catalogue);
  EXPECT_EQ(Link()->AttemptCount, 9);

  // Built but idle: no timer runs, nothing is opened.
  EXPECT_EQ(link->RxTimer->Interval(), 200u);
  EXPECT_EQ(link->ResponseTimer->Interval(), 35000u);
  EXPECT_EQ(link->LinkPort->StopBits(), serial::sb2BITS);
  EXPECT_EQ(link->LinkPort->InputTimeout(), 2000u);
  tk.RunFor(60'000);
  EXPECT_EQ(com2.OpenCount(), 0);
  EXPECT_EQ(tk.Dispatched(), 0u);

  MeterLinkShutdown();
  EXPECT_EQ(Catalogue(), nullptr);
  EXPECT_EQ(Link(), nullptr);
  MeterLinkShutdown();
  MeterLinkStartup(tk, platform);  // up again, with the initial values
  EXPECT_EQ(Link()->AttemptCount, 3);
  EXPECT_EQ(Link()->LinkState, 1);
  MeterLinkShutdown();
}
