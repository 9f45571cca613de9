#include "meterlink/catalogue.h"

#include "toolkit/codepage.h"

namespace meterlink {

using toolkit::Cp1251;

TCustomUnit::TCustomUnit() : Name(Cp1251("Виртуальное")), Items(std::make_shared<TStringList>()) {}

void TCustomUnit::CopyFrom(const TCustomUnit& Source) {
  if (&Source == this) return;
  DeviceType = Source.DeviceType;
  Param1 = Source.Param1;
  Param2 = Source.Param2;
  Param3 = Source.Param3;
  Param4 = Source.Param4;
  Param5 = Source.Param5;
  Param6 = Source.Param6;
  Name = Source.Name;
  Text2 = Source.Text2;
  Text3 = Source.Text3;
  Items = Source.Items;  // our own list goes when no unit holds it any more
  Flag = Source.Flag;
}

TcustomCMD::TcustomCMD() : Device(std::make_unique<TCustomUnit>()) {}

int FieldWidth(std::string_view type) {
  std::string t(type);
  for (char& c : t)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  if (t == "byte") return 1;
  if (t == "word" || t == "word/10") return 2;
  if (t == "single") return 4;
  return 0;
}

namespace {

std::unique_ptr<TcustomCMD> Command(uint16_t blockLength, uint8_t commandNumber, std::string_view names,
                                    std::string_view types) {
  auto cmd = std::make_unique<TcustomCMD>();
  cmd->BlockLength = blockLength;
  cmd->CommandNumber = commandNumber;
  cmd->FieldNames = Cp1251(names);
  cmd->FieldTypes = Cp1251(types);
  return cmd;
}

// The four header fields and the check byte are spelt differently in some
// blocks; they are kept as the calculator's documentation spells them.

constexpr std::string_view kHeaderNames = R"ml("Дл. блока","Тип уст-ва","Сер.№","№ команды","LRC(КС)")ml";
constexpr std::string_view kHeaderTypes = "byte,byte,word,byte,byte";

constexpr std::string_view kArchiveRequestNames =
    R"ml("Дл. блока","Тип уст-ва","Сер.№","№ команды","тип арх и № записи","LRC(КС)")ml";
constexpr std::string_view kArchiveRequestTypes = "byte,byte,word,byte,word,byte";

constexpr std::string_view kCurrentValuesNames =
    R"ml("Дл. блока","Тип уст-ва","Сер. №","Код команды","Тепло(1-я сист)","Тепло (2-я сист)",)ml"
    R"ml("Т подачи (1-я сист)","Т обратки (1-я сист)","Т подачи (2-я сист)","Т обратки (2-я сист)",)ml"
    R"ml("Т XBC (1-я сист)","Т XBC (2-я сист)","Давл1 (1-я сист)","Давл2 (1-я сист)","Давл1 (2-я сист)",)ml"
    R"ml("Давл2 (2-я сист)","Объем1 (1-я сист)","Объем2(1-я сист)","Объем3 (1-я сист)","Объем1 (2-я сист)",)ml"
    R"ml("Объем2(2-я сист)","Объем3 (2-я сист)","Код ош. (1-я сист)","Код ош. (2-я сист)","Код ош. апп",)ml"
    R"ml("Мгн.расход1(1-я сист)","Мгн. расход2(1-я сист)","Мгн. расход3(1-я сист)",)ml"
    R"ml("Мгн.расход1(2-я сист)","Мгн. расход2(2-я сист)","Мгн. расход3(2-я сист)","LRC(КС)")ml";
constexpr std::string_view kCurrentValuesTypes =
    "byte,byte,word,byte,"
    "single,single,single,single,single,single,single,single,single,single,single,single,"
    "single,single,single,single,single,single,"
    "byte,byte,byte,"
    "single,single,single,single,single,single,"
    "byte";

constexpr std::string_view kSettingsNames =
    R"ml("Длина блока","Тип устройства","Серийный номер","Код команды",)ml"
    R"ml("вес импульса 1-го расходомера 1-й системы, 10*импульс/литр",)ml"
    R"ml("вес импульса 1-го расходомера 2-й системы, 10*импульс/литр",)ml"
    R"ml("вес импульса 2-го расходомера 1-й системы, 10*импульс/литр",)ml"
    R"ml("вес импульса 2-го расходомера 2-й системы, 10*импульс/литр",)ml"
    R"ml("вес импульса 3-го расходомера 1-й системы, 10*импульс/литр",)ml"
    R"ml("вес импульса 3-го расходомера 2-й системы, 10*импульс/литр",)ml"
    R"ml("Тип 1-й системы отопления","Тип 2-й системы отопления",)ml"
    R"ml("Температура холодной воды для расчета в открытой системе",)ml"
    R"ml("2-я Температура холодной воды для расчета в открытой системе",)ml"
    R"ml("день начала применения второй температуры","месяц начала применения второй температуры",)ml"
    R"ml("день конца применения второй температуры","месяц конца применения второй температуры",)ml"
    R"ml("Минимальный расход для 1-й системы","Минимальный расход для 2-й системы",)ml"
    R"ml("Максимальный расход для 1-й системы","Максимальный расход для 2-й системы",)ml"
    R"ml("День отчетного периода","Суммировать ли энергию при наличии нефатальных ошибок",)ml"
    R"ml("Использовать вторую температуру холодной воды","резерв(MB адрес)","КС")ml";
constexpr std::string_view kSettingsTypes =
    "Byte,Byte,Word,Byte,"
    "word/10,word/10,word/10,word/10,word/10,word/10,"
    "byte,byte,byte,byte,byte,byte,byte,byte,"
    "single,single,single,single,"
    "byte,byte,byte,Byte,Byte";

constexpr std::string_view kArchiveNumbersNames =
    R"ml("Дл. блока","Тип уст-ва","Сер.№","№ команды","№ час арх","№ сут арх","Пер-д изм","LRC(КС)")ml";
constexpr std::string_view kArchiveNumbersTypes = "byte,byte,word,byte,word,byte,byte,byte";

constexpr std::string_view kArchiveRecordNames =
    R"ml("Дл. блока","Тип уст-ва","Сер.№","№ команды","Время работы,час","Время при ош 1 сист",)ml"
    R"ml("Время при ош 2 сист","Тепло 1сист","Тепло 2сист","Объем 1 сист 1","Объем 2 сист 1",)ml"
    R"ml("Объем 3 сист 1","Объем 1 сист 2","Объем 2 сист 2","Объем 3 сист 2","ОП Время раб мин",)ml"
    R"ml("ОП Тепло 1 сист","ОП Тепло 2 сист","ОП Объем 1 сист 1","ОП Объем 2 сист 1","ОП Объем 3 сист 1",)ml"
    R"ml("ОП Объем 1 сист 2","ОП Объем 2 сист 2","ОП Объем 3 сист 2","t°С подачи 1 сист",)ml"
    R"ml("t°С обратки 1 сист","t°С подачи 2 сист","t°С обратки 2 сист","t°С доп 1 сист","t°С доп 2 сист",)ml"
    R"ml("давление 1 сист 1","давление 2 сист 1","давление 1 сист 2","давление 2 сист 2",)ml"
    R"ml("Время фат ош за ОП 1 сист","Время фат ош за ОП 2 сист","Время малого расх за ОП 1 сист",)ml"
    R"ml("Время малого расх за ОП 2 сист","Энергия малого расх 1 сист","Энергия малого расх 2 сист",)ml"
    R"ml("Время большого расх за ОП 1 сист","Время большого расх за ОП 2 сист",)ml"
    R"ml("Энергия большого расх 1 сист","Энергия большого расх 2 сист",)ml"
    R"ml("Время  малой dt°С за ОП 1 сист","Время  малой dt°С за ОП 2 сист",)ml"
    R"ml("Тепло  малой dt°С за ОП 1 сист","Тепло  малой dt°С за ОП 2 сист",)ml"
    R"ml("Код ош 1-й сист","Код ош 2-й сист","Код ош апп","Время записи (час)","Время записи (день)",)ml"
    R"ml("выравнивание","КС")ml";
constexpr std::string_view kArchiveRecordTypes =
    "byte,byte,word,byte,"
    "word,word,word,"
    "single,single,single,single,single,single,single,single,"
    "word,"
    "single,single,single,single,single,single,single,single,"
    "single,single,single,single,single,single,"
    "single,single,single,single,"
    "word,word,word,word,single,single,word,word,single,single,word,word,single,single,"
    "byte,byte,byte,byte,word,byte,byte";

}  // namespace

std::unique_ptr<TCatalogue> BuildCatalogue() {
  auto c = std::make_unique<TCatalogue>();
  c->VirtualUnit = std::make_unique<TCustomUnit>();

  c->CalculatorUnit = std::make_unique<TCustomUnit>();
  c->CalculatorUnit->DeviceType = 5;
  c->CalculatorUnit->Param2 = 61;
  c->CalculatorUnit->Param3 = 959;
  c->CalculatorUnit->Name = Cp1251("ЯРВ К27");

  c->UnitList.resize(2);
  c->UnitIndex = 0;
  c->UnitList[0] = std::make_unique<TCustomUnit>();
  c->UnitList[1] = std::make_unique<TCustomUnit>();
  c->UnitList[1]->CopyFrom(*c->CalculatorUnit);

  c->EmptyCommand = Command(6, 0, "", "");
  c->HeaderOnlyCommand = Command(6, 0, kHeaderNames, kHeaderTypes);
  c->ArchiveRequestCommand = Command(8, 3, kArchiveRequestNames, kArchiveRequestTypes);
  c->ArchiveRequestCommand->Device->DeviceType = 5;
  c->CurrentValuesCommand = Command(105, 0, kCurrentValuesNames, kCurrentValuesTypes);
  c->SettingsCommand = Command(46, 0, kSettingsNames, kSettingsTypes);
  c->ArchiveNumbersCommand = Command(10, 0, kArchiveNumbersNames, kArchiveNumbersTypes);
  // The archive record declares 166 bytes while its 55 fields add up to 165.
  // We keep the declared 166: it is what the calculator's documentation gives
  // for the whole block, nothing here encodes or decodes it, so nothing shows
  // which of the two is wrong. A decoder must go by the length byte it
  // receives and not trust either number.
  c->ArchiveRecordCommand = Command(166, 0, kArchiveRecordNames, kArchiveRecordTypes);
  return c;
}

void FillHeatSystemTypes(TStringList& list) {
  list.SetCommaText(Cp1251(R"ml("Закрытая, расходомер на подаче","закрытая, расходомер на обратке",)ml"
                           R"ml("Открытая обычная","Открытая тупиковая")ml"));
}

const std::array<std::string, 2>& ArchiveKindNames() {
  static const std::array<std::string, 2> names{Cp1251("ЧАСОВОЙ"), Cp1251("СУТОЧНЫЙ")};
  return names;
}

const std::array<std::string, 6>& DriveTypeNames() {
  static const std::array<std::string, 6> names{Cp1251("неизвестный"), Cp1251("съемный"),    Cp1251("сетевой"),
                                                Cp1251("CDROM"),       Cp1251("виртуальный"), Cp1251("локальный")};
  return names;
}

}  // namespace meterlink
