// The lamp pictures of the window and the tray icons, drawn at every size.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

#include "app/Ids.h"

namespace toggra::gui {

// kIconApp, kIconGreen, kIconRed, kIconYellow, kIconWhite; a null icon for
// any other id.
QIcon LampIcon(IconId id);

// The logical sizes (pixels at 100 %) each icon carries, each also at 200 %.
inline constexpr int kLampIconSizes[] = {16, 22, 24, 32, 48, 64, 128};

struct LampColours {
  QColor face;
  QColor shade;
};

// The face and shading colours of an icon; false for an unknown id.
bool LampIconColours(IconId id, LampColours* colours);

// One lamp picture of `size` logical pixels at the given device pixel ratio;
// a null pixmap for an unknown id.
QPixmap DrawLamp(IconId id, int size, qreal devicePixelRatio);

}  // namespace toggra::gui
