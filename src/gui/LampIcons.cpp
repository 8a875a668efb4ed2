#include "gui/LampIcons.h"

#include <QGuiApplication>
#include <QIconEngine>
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
// The width of the surround and of the shade, each as a share of the lamp's
// size.
constexpr qreal kRimShare = 0.09;

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

LampColours LampColoursForFace(const QColor& face) {
  for (const LampLook& look : kLooks)
    if (QColor::fromRgb(look.face) == face) return {face, QColor::fromRgb(look.shade)};
  const auto half = [](int c) { return (c + 1) / 2; };
  return {face, QColor(half(face.red()), half(face.green()), half(face.blue()))};
}

void PaintLampLook(QPainter& p, const QRectF& box, const LampColours& colours,
                   qreal devicePixelRatio, const QPainterPath& only) {
  if (box.isEmpty() || devicePixelRatio <= 0) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  const auto fill = [&](const QRectF& r, const QColor& colour) {
    if (only.isEmpty()) {
      p.setBrush(colour);
      p.drawEllipse(r);
      return;
    }
    QPainterPath layer;
    layer.addEllipse(r);
    p.fillPath(layer.intersected(only), colour);
  };
  // Insets scale with the size on each axis so that the picture keeps its
  // proportions from 16 px up and on a lamp wider than it is high.
  const qreal minimum = 1.0 / devicePixelRatio;
  const qreal surroundX = qMax(box.width() * kRimShare, minimum);
  const qreal surroundY = qMax(box.height() * kRimShare, minimum);
  const qreal shadeX = box.width() * kRimShare, shadeY = box.height() * kRimShare;
  // Every lamp has the same surround: a part drawn over a whole lamp leaves
  // it as it is.
  if (only.isEmpty()) fill(box, kSurround);

  const QRectF lamp = box.adjusted(surroundX, surroundY, -surroundX, -surroundY);
  fill(lamp, colours.shade);

  // The face touches the rim on the upper left.
  QRectF face = lamp.adjusted(shadeX, shadeY, -shadeX, -shadeY);
  face.translate(-shadeX / 2, -shadeY / 2);
  fill(face, colours.face);
  p.restore();
}

QPixmap DrawLamp(IconId id, int size, qreal devicePixelRatio) {
  LampColours colours;
  if (size <= 0 || !LampIconColours(id, &colours)) return {};
  const int device = qRound(size * devicePixelRatio);
  QPixmap pixmap(device, device);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  PaintLampLook(p, QRectF(0, 0, size, size), colours, devicePixelRatio);
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

// The icon with all its pictures, drawn once per application.
QIcon DrawnLampIcon(IconId id) {
  CIconCache* cache = Cache();
  if (!cache) return DrawLampIcon(id);
  auto it = cache->icons.find(id);
  if (it == cache->icons.end()) it = cache->icons.emplace(id, DrawLampIcon(id)).first;
  return it->second;
}

// An icon whose pictures are drawn the first time any of them is asked for,
// all at once, and then served as a QIcon of those pictures serves them.
// Sixteen tray icons that no tray shows, or a window icon the platform never
// asks for, then cost nothing at start-up.
class CLampIconEngine : public QIconEngine {
 public:
  explicit CLampIconEngine(IconId id) : m_id(id) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const QPaintDevice* device = painter->device();
    const qreal dpr = device ? device->devicePixelRatio() : qApp->devicePixelRatio();
    painter->drawPixmap(rect, pixmap(rect.size() * dpr, mode, state));
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Drawn().pixmap(size, 1.0, mode, state);
  }
  // The picture chosen for a size is never scaled up: its size is the answer.
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return pixmap(size, mode, state).size();
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Drawn().availableSizes(mode, state);
  }
  QString key() const override { return QStringLiteral("toggra-lamp"); }
  QIconEngine* clone() const override { return new CLampIconEngine(*this); }
  bool isNull() override { return false; }

 private:
  const QIcon& Drawn() {
    if (m_drawn.isNull()) m_drawn = DrawnLampIcon(m_id);
    return m_drawn;
  }
  IconId m_id;
  QIcon m_drawn;
};

}  // namespace

QIcon LampIcon(IconId id) {
  LampColours colours;
  if (!LampIconColours(id, &colours)) return {};
  return QIcon(new CLampIconEngine(id));
}

}  // namespace toggra::gui
