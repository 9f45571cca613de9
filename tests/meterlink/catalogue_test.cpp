// The calculator's block catalogue, device records and name tables as
// start-up builds them, and the library's start-up and shutdown.
#include <gtest/gtest.h>

#include <numeric>

#include "meterlink/ucv.h"
#include "serial/sim_serial.h"
#include "toolkit/codepage.h"
#include "toolkit/sim_toolkit.h"

using namespace meterlink;
using toolkit::Cp1251;
using toolkit::Utf8;

namespace {

struct Fields {
  std::vector<std::string> names, types;
  int width = 0;
  bool allTypesKnown = true;
};

Fields Parse(const TcustomCMD& cmd) {
  Fields f{ParseCommaText(cmd.FieldNames), ParseCommaText(cmd.FieldTypes)};
  for (const auto& t : f.types) {
    f.width += FieldWidth(t);
    if (FieldWidth(t) == 0) f.allTypesKnown = false;
  }
  return f;
}

class Started : public ::testing::Test {
 protected:
  Started() : platform(tk) { MeterLinkStartup(tk, platform); }
  ~Started() override { MeterLinkShutdown(); }
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform;
};

}  // namespace

TEST(FieldWidth, TypesInEitherCase) {
  EXPECT_EQ(FieldWidth("byte"), 1);
  EXPECT_EQ(FieldWidth("Byte"), 1);
  EXPECT_EQ(FieldWidth("WORD"), 2);
  EXPECT_EQ(FieldWidth("word/10"), 2);
  EXPECT_EQ(FieldWidth("Single"), 4);
  EXPECT_EQ(FieldWidth("dword"), 0);
  EXPECT_EQ(FieldWidth(""), 0);
}

TEST_F(Started, BlockTablesParseToTheirFieldCountsAndLengths) {
  const TCatalogue& c = *Catalogue();
  struct Want {
    const TcustomCMD* cmd;
    size_t fields;
    int width;
    uint16_t length;
    uint8_t number;
  };
  const Want wants[] = {
      {c.HeaderOnlyCommand.get(), 5, 6, 6, 0},       {c.ArchiveRequestCommand.get(), 6, 8, 8, 3},
      {c.CurrentValuesCommand.get(), 32, 105, 105, 0}, {c.SettingsCommand.get(), 27, 46, 46, 0},
      {c.ArchiveNumbersCommand.get(), 8, 10, 10, 0},   {c.ArchiveRecordCommand.get(), 55, 165, 166, 0},
  };
  for (const Want& w : wants) {
    const Fields f = Parse(*w.cmd);
    SCOPED_TRACE(Utf8(f.names.empty() ? "" : f.names.back()) + " block of " + std::to_string(w.fields));
    EXPECT_EQ(f.names.size(), w.fields);
    EXPECT_EQ(f.types.size(), w.fields);
    EXPECT_TRUE(f.allTypesKnown);
    EXPECT_EQ(f.width, w.width);
    EXPECT_EQ(w.cmd->BlockLength, w.length);
    EXPECT_EQ(w.cmd->CommandNumber, w.number);
    // Every block starts with the four header fields and ends with its check byte.
    ASSERT_GE(f.names.size(), 5u);
    EXPECT_TRUE(f.names.back() == Cp1251("LRC(КС)") || f.names.back() == Cp1251("КС"));
    EXPECT_EQ(f.types[2].size(), 4u);  // the serial number is a word in every spelling
  }
  // The archive record is the one block whose declared length and field
  // widths disagree (166 against 165); the catalogue keeps the declared one.
  const TcustomCMD& empty = *c.EmptyCommand;
  EXPECT_EQ(empty.BlockLength, 6);
  EXPECT_EQ(empty.CommandNumber, 0);
  EXPECT_TRUE(ParseCommaText(empty.FieldNames).empty());
  EXPECT_TRUE(ParseCommaText(empty.FieldTypes).empty());
}

TEST_F(Started, FieldNamesAreKeptExactly) {
  const TCatalogue& c = *Catalogue();
  const Fields record = Parse(*c.ArchiveRecordCommand);
  // Quoted, so the comma does not split it.
  EXPECT_EQ(Utf8(record.names[4]), "Время работы,час");
  EXPECT_EQ(Utf8(record.names[5]), "Время при ош 1 сист");
  // A doubled blank inside a quoted name survives.
  EXPECT_EQ(Utf8(record.names[44]), "Время  малой dt°С за ОП 1 сист");
  EXPECT_EQ(Utf8(record.names[53]), "выравнивание");

  const Fields settings = Parse(*c.SettingsCommand);
  EXPECT_EQ(Utf8(settings.names[4]), "вес импульса 1-го расходомера 1-й системы, 10*импульс/литр");
  EXPECT_EQ(settings.types[4], "word/10");
  EXPECT_EQ(settings.types[0], "Byte");  // the spelling is kept
  EXPECT_EQ(Utf8(settings.names[25]), "резерв(MB адрес)");

  const Fields current = Parse(*c.CurrentValuesCommand);
  EXPECT_EQ(Utf8(current.names[2]), "Сер. №");
  EXPECT_EQ(Utf8(current.names[10]), "Т XBC (1-я сист)");
  EXPECT_EQ(Utf8(Parse(*c.ArchiveRequestCommand).names[4]), "тип арх и № записи");
  // The stored names are Windows-1251, one byte a letter.
  EXPECT_EQ(record.names[0].size(), std::string("Дл. блока").size() - 7);
}

TEST_F(Started, DevicesOfTheCommandsAndTheUnits) {
  const TCatalogue& c = *Catalogue();
  const TcustomCMD* commands[] = {c.EmptyCommand.get(),         c.HeaderOnlyCommand.get(),
                                  c.ArchiveRequestCommand.get(), c.CurrentValuesCommand.get(),
                                  c.SettingsCommand.get(),       c.ArchiveNumbersCommand.get(),
                                  c.ArchiveRecordCommand.get()};
  for (const TcustomCMD* cmd : commands) {
    ASSERT_NE(cmd->Device, nullptr);
    EXPECT_EQ(cmd->Device->DeviceType, cmd == c.ArchiveRequestCommand.get() ? 5 : 0);
    EXPECT_EQ(Utf8(cmd->Device->Name), "Виртуальное");
    EXPECT_TRUE(cmd->Extra1.empty() && cmd->Extra2.empty() && cmd->Extra3.empty());
  }

  EXPECT_EQ(c.VirtualUnit->DeviceType, 0);
  EXPECT_EQ(Utf8(c.VirtualUnit->Name), "Виртуальное");
  EXPECT_TRUE(c.VirtualUnit->Flag);
  const TCustomUnit& k27 = *c.CalculatorUnit;
  EXPECT_EQ(k27.DeviceType, 5);
  EXPECT_EQ(k27.Param1, 0);
  EXPECT_EQ(k27.Param2, 61);
  EXPECT_EQ(k27.Param3, 959);
  EXPECT_EQ(Utf8(k27.Name), "ЯРВ К27");

  ASSERT_EQ(c.UnitList.size(), 2u);
  EXPECT_EQ(c.UnitIndex, 0);
  EXPECT_EQ(c.UnitList[0]->DeviceType, 0);
  EXPECT_EQ(Utf8(c.UnitList[0]->Name), "Виртуальное");
  EXPECT_NE(c.UnitList[0]->Items, c.VirtualUnit->Items);  // a new unit, a new list
  EXPECT_EQ(c.UnitList[1]->DeviceType, 5);
  EXPECT_EQ(c.UnitList[1]->Param3, 959);
  EXPECT_EQ(Utf8(c.UnitList[1]->Name), "ЯРВ К27");
  EXPECT_EQ(c.UnitList[1]->Items, k27.Items);
}

TEST(CustomUnit, CopyFromSharesItemsAndKeepsText1AndText4) {
  auto source = std::make_unique<TCustomUnit>();
  source->DeviceType = 7;
  source->Param1 = -3;
  source->Param6 = 1200;
  source->Name = "src";
  source->Text1 = "s1";
  source->Text2 = "s2";
  source->Text3 = "s3";
  source->Text4 = "s4";
  source->Flag = false;
  TCustomUnit copy;
  copy.Text1 = "c1";
  copy.Text2 = "c2";
  copy.Text4 = "c4";
  std::weak_ptr<TStringList> ownList = copy.Items;
  copy.CopyFrom(*source);

  EXPECT_EQ(copy.DeviceType, 7);
  EXPECT_EQ(copy.Param1, -3);
  EXPECT_EQ(copy.Param6, 1200);
  EXPECT_EQ(copy.Name, "src");
  EXPECT_EQ(copy.Text1, "c1");
  EXPECT_EQ(copy.Text2, "s2");
  EXPECT_EQ(copy.Text3, "s3");
  EXPECT_EQ(copy.Text4, "c4");
  EXPECT_FALSE(copy.Flag);
  EXPECT_TRUE(ownList.expired());  // the copy's own list went, nothing holds it

  source->Items->Add("one");
  copy.Items->Add("two");
  EXPECT_EQ(source->Items->Count(), 2u);
  EXPECT_EQ((*copy.Items)[0], "one");

  // The list outlives the unit it came from.
  source.reset();
  copy.Items->Add("three");
  EXPECT_EQ(copy.Items->CommaText(), "one,two,three");
  EXPECT_EQ(copy.Items.use_count(), 1);

  copy.CopyFrom(copy);  // onto itself: nothing changes
  EXPECT_EQ(copy.Items->Count(), 3u);
  EXPECT_EQ(copy.Text1, "c1");
}

TEST_F(Started, NameTables) {
  const TStringList& heat = Catalogue()->HeatSystemTypes;
  ASSERT_EQ(heat.Count(), 4u);
  EXPECT_EQ(Utf8(heat[0]), "Закрытая, расходомер на подаче");
  EXPECT_EQ(Utf8(heat[1]), "закрытая, расходомер на обратке");
  EXPECT_EQ(Utf8(heat[2]), "Открытая обычная");
  EXPECT_EQ(Utf8(heat[3]), "Открытая тупиковая");
  EXPECT_EQ(ParseCommaText(heat.CommaText()), heat.Strings);

  EXPECT_EQ(Utf8(ArchiveKindNames()[0]), "ЧАСОВОЙ");
  EXPECT_EQ(Utf8(ArchiveKindNames()[1]), "СУТОЧНЫЙ");
  const char* drives[] = {"неизвестный", "съемный", "сетевой", "CDROM", "виртуальный", "локальный"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(Utf8(DriveTypeNames()[i]), drives[i]);
}

TEST(MeterLinkLifecycle, StartupOnceShutdownFreesAndThePortStaysClosed) {
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform(tk);
  serial::SimPort& com2 = platform.AddPort("\\\\.\\COM2");
  EXPECT_FALSE(MeterLinkStarted());
  EXPECT_EQ(Catalogue(), nullptr);
  EXPECT_EQ(Link(), nullptr);
  Dial();  // before start-up: nothing, no crash
  MeterLinkShutdown();

  MeterLinkStartup(tk, platform);
  ASSERT_TRUE(MeterLinkStarted());
  TCatalogue* catalogue = Catalogue();
  TLink* link = Link();
  link->AttemptCount = 9;
  MeterLinkStartup(tk, platform);  // a second call does nothing
  EXPECT_EQ(Catalogue(), catalogue);
  EXPECT_EQ(Link(), link);
  EXPECT_EQ(link->AttemptCount, 9);
  EXPECT_EQ(catalogue->HeatSystemTypes.Count(), 4u);

  // The link is built but idle: no timer runs, nothing is opened.
  EXPECT_FALSE(link->RxTimer->Enabled());
  EXPECT_FALSE(link->ResponseTimer->Enabled());
  EXPECT_EQ(link->RxTimer->Interval(), 200u);
  EXPECT_EQ(link->ResponseTimer->Interval(), 35000u);
  EXPECT_EQ(link->LinkPort->StopBits(), serial::sb2BITS);
  EXPECT_EQ(link->LinkPort->InputTimeout(), 2000u);
  EXPECT_EQ(link->LinkPort->PortName(), "\\\\.\\COM2");
  EXPECT_TRUE(link->LinkPort->OnReceiveData() != nullptr);
  tk.RunFor(60'000);
  EXPECT_EQ(com2.OpenCount(), 0);
  EXPECT_EQ(tk.Dispatched(), 0u);

  MeterLinkShutdown();
  EXPECT_FALSE(MeterLinkStarted());
  EXPECT_EQ(Catalogue(), nullptr);
  MeterLinkShutdown();  // twice: nothing

  // Up again after a shutdown, with fresh initial values.
  MeterLinkStartup(tk, platform);
  EXPECT_EQ(Link()->AttemptCount, 3);
  EXPECT_EQ(Link()->LinkState, 1);
  MeterLinkShutdown();
}
