// The user's collation through Qt (ICU where Qt has it).
#include <string_view>

#include <QCollator>
#include <QLocale>
#include <QString>

#include "serial/port_system.h"
#include "toolkit/codepage.h"

namespace serial {

int CompareTextUserLocale(std::string_view a, std::string_view b) {
  static const QCollator collator = [] {
    // The C locale has no collation but code order, which would put "COM10:"
    // before "COM1:"; take English, as Windows does without a user locale.
    QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator c(locale);
    c.setCaseSensitivity(Qt::CaseInsensitive);
    return c;
  }();
  return collator.compare(QString::fromStdString(toolkit::Utf8(a)), QString::fromStdString(toolkit::Utf8(b)));
}

}  // namespace serial
