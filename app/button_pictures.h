// The pictures of the start and stop buttons, drawn here: 32 x 32, white
// being transparent.
#pragma once

#include <QPixmap>

namespace app {

QPixmap MainsPlugPicture();  // a black mains plug
QPixmap StopSignPicture();   // a red octagonal stop sign, STOP in white

}  // namespace app
