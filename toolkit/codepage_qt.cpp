#include <QStringDecoder>
#include <QStringEncoder>

#include "toolkit/codepage.h"

namespace toolkit {

std::string Cp1251(std::string_view utf8) {
  const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
  QStringEncoder encoder("windows-1251");
  QByteArray bytes = encoder.encode(text);
  if (encoder.hasError()) {
    // The codec marks a character it cannot map with 0x1A, which is also a
    // character of its own: encode one by one to tell them apart.
    bytes.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
      const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
      QStringEncoder one("windows-1251");
      const QByteArray b = one.encode(QStringView(text).mid(i, n));
      bytes += one.hasError() || b.size() != 1 ? QByteArray("?") : b;
      i += n - 1;
    }
  }
  return std::string(bytes.constData(), size_t(bytes.size()));
}

std::string Utf8(std::string_view cp1251) {
  QStringDecoder decoder("windows-1251");
  const QString text = decoder.decode(QByteArrayView(cp1251.data(), qsizetype(cp1251.size())));
  const QByteArray utf8 = text.toUtf8();
  return std::string(utf8.constData(), size_t(utf8.size()));
}

}  // namespace toolkit
