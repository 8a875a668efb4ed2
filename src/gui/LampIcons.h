// The lamp pictures of the window and the tray icons, drawn at every size.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPainterPath>
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

// The colours of a lamp with this face: the icon table's shade where the
// table has the face, else the face at half its brightness, as the table's
// red and green are shaded.
LampColours LampColoursForFace(const QColor& face);

// The lamp look of the icons inside the ellipse of `box`: a grey surround, the
// shade, and the face pushed towards the upper left so that the shade shows
// as a crescent on the lower right. The window's lamps are drawn with it too,
// stretched to their buttons. With a non-empty `only`, just the shade and
// face inside that path are drawn, over a lamp already there. The surround
// stays at least one device pixel wide.
void PaintLampLook(QPainter& painter, const QRectF& box, const LampColours& colours,
                   qreal devicePixelRatio, const QPainterPath& only = {});

// One lamp picture of `size` logical pixels at the given device pixel ratio;
// a null pixmap for an unknown id.
QPixmap DrawLamp(IconId id, int size, qreal devicePixelRatio);

}  // namespace toggra::gui
