#include "app/button_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace app {

QPixmap MainsPlugPicture() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRect(11, 2, 3, 9);   // the two pins
  p.drawRect(18, 2, 3, 9);
  QPainterPath body;
  body.addRoundedRect(QRectF(7, 10, 18, 11), 3, 3);
  p.drawPath(body);
  QPolygonF neck({QPointF(11, 21), QPointF(21, 21), QPointF(18, 26), QPointF(14, 26)});
  p.drawPolygon(neck);
  p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  QPainterPath cable(QPointF(16, 26));
  cable.cubicTo(QPointF(16, 31), QPointF(24, 27), QPointF(29, 31));
  p.drawPath(cable);
  return pm;
}

QPixmap StopSignPicture() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QPolygonF octagon;
  for (int i = 0; i < 8; ++i) {
    const double a = (22.5 + 45.0 * i) * M_PI / 180.0;
    octagon << QPointF(16 + 15.5 * std::cos(a), 16 + 15.5 * std::sin(a));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 0, 0));
  p.drawPolygon(octagon);
  p.setPen(Qt::white);
  QFont f("Sans Serif");
  f.setPixelSize(10);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("STOP"));
  return pm;
}

}  // namespace app
