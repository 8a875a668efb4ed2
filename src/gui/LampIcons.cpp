#include "gui/LampIcons.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <map>
#include <set>

namespace toggra::gui {

namespace {

struct LampLook {
  IconId id;
  QRgb face;
  QRgb shade;
};

// The icon table: the window's own icon is the green lamp.
constexpr LampLook kLooks[] = {
    {kIconApp, qRgb(0, 255, 0), qRgb(0, 128, 0)},
    {kIconGreen, qRgb(0, 255, 0), qRgb(0, 128, 0)},
    {kIconRed, qRgb(255, 0, 0), qRgb(128, 0, 0)},
    {kIconYellow, qRgb(255, 255, 0), qRgb(128, 0, 0)},
    {kIconWhite, qRgb(255, 255, 255), qRgb(0, 128, 0)},
};

const QColor kSurround(192, 192, 192);

}  // namespace

bool LampIconColours(IconId id, LampColours* colours) {
  for (const LampLook& look : kLooks) {
    if (look.id == id) {
      colours->face = QColor::fromRgb(look.face);
      colours->shade = QColor::fromRgb(look.shade);
      return true;
    }
  }
  return false;
}

QPixmap DrawLamp(IconId id, int size, qreal devicePixelRatio) {
  LampColours colours;
  if (size <= 0 || !LampIconColours(id, &colours)) return {};
  const int device = qRound(size * devicePixelRatio);
  QPixmap pixmap(device, device);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);

  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  const qreal s = size;
  // Insets scale with the size so that the picture keeps its proportions
  // from 16 px up; the grey surround stays at least one device pixel wide.
  const qreal surroundWidth = qMax(s * 0.09, 1.0 / devicePixelRatio);
  const qreal shadeWidth = s * 0.09;
  const QRectF outer(0, 0, s, s);
  p.setBrush(kSurround);
  p.drawEllipse(outer);

  const QRectF lamp = outer.adjusted(surroundWidth, surroundWidth, -surroundWidth, -surroundWidth);
  p.setBrush(colours.shade);
  p.drawEllipse(lamp);

  // The face is smaller and pushed towards the upper left, so the shading
  // shows as a crescent on the lower right and the face touches the rim on
  // the upper left.
  const qreal shift = shadeWidth / 2;
  QRectF face = lamp.adjusted(shadeWidth, shadeWidth, -shadeWidth, -shadeWidth);
  face.translate(-shift, -shift);
  p.setBrush(colours.face);
  p.drawEllipse(face);
  return pixmap;
}

namespace {

QIcon DrawLampIcon(IconId id) {
  // Each picture is drawn at its device size: QIcon picks the one whose
  // pixels fit the requested size times the screen's scale, so 16 px at
  // 200 % takes the 32 px drawing instead of a blurred upscale.
  QIcon icon;
  std::set<int> deviceSizes;
  for (int size : kLampIconSizes) {
    deviceSizes.insert(size);
    deviceSizes.insert(2 * size);
  }
  for (int size : deviceSizes) icon.addPixmap(DrawLamp(id, size, 1.0));
  return icon;
}

// The icons drawn so far. Every column's tray icon and every change of it asks
// for one, and drawing all sizes of an icon costs more than the rest of the
// start-up's own work. The cache belongs to the application, so that no
// picture outlives it.
class CIconCache : public QObject {
 public:
  using QObject::QObject;
  std::map<IconId, QIcon> icons;
};

CIconCache* Cache() {
  static QPointer<CIconCache> cache;
  if (!cache && QCoreApplication::instance())
    cache = new CIconCache(QCoreApplication::instance());
  return cache;
}

}  // namespace

QIcon LampIcon(IconId id) {
  LampColours colours;
  if (!LampIconColours(id, &colours)) return {};
  CIconCache* cache = Cache();
  if (!cache) return DrawLampIcon(id);
  auto it = cache->icons.find(id);
  if (it == cache->icons.end()) it = cache->icons.emplace(id, DrawLampIcon(id)).first;
  return it->second;
}

}  // namespace toggra::gui
