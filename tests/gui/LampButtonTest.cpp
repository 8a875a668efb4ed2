// The lamp buttons as the user sees them: the picture painted for each lamp
// decision.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>
#include <cmath>

#include "gui/LampButton.h"
#include "gui/LampIcons.h"
#include "support/CaseNames.h"
#include "support/TestDialog.h"
#include "ui/LampPlan.h"

namespace toggra::gui {
namespace {

constexpr QSize kButton{80, 72};

class LampPainting : public ::testing::Test {
 protected:
  LampPainting() : dlg(t.Dialog()) {}

  // The picture of lamp `id` on a transparent button face.
  QImage Paint(int id) {
    QImage image(kButton, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    PaintLamp(painter, dlg, id, kButton);
    return image;
  }
  // The pixel at a share of the width and height.
  static QColor At(const QImage& image, double fx, double fy) {
    return image.pixelColor(static_cast<int>(fx * image.width()),
                            static_cast<int>(fy * image.height()));
  }
  // What a lamp button itself paints, without its background.
  static QImage Rendered(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    w.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
  }
  // Equal but for the rounding of an antialiased edge.
  static bool Near(const QColor& a, const QColor& b) {
    constexpr int kTolerance = 8;
    return std::abs(a.red() - b.red()) <= kTolerance &&
           std::abs(a.green() - b.green()) <= kTolerance &&
           std::abs(a.blue() - b.blue()) <= kTolerance &&
           std::abs(a.alpha() - b.alpha()) <= kTolerance;
  }
  static bool Blank(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y).alpha() != 0) return false;
    return true;
  }
  QColor Brush(LampBrush brush) const { return FromColourRef(BrushColour(dlg, brush)); }

  test::TestDialog t;
  CToggraDlg& dlg;
};

// Points of a lamp's look, as shares of its button: the face up left of the
// middle, the shade's crescent to the lower right, the surround at the top.
constexpr double kFace = 0.45, kShade = 0.75, kSurroundY = 0.03;

TEST_F(LampPainting, WholeLampsHaveTheShadedLookInTheirRowColourOrUnlit) {
  t.AddColumn(0, kFirstSwitchId, kStateOn);
  const QImage lower = Paint(kIdLowerButton);
  const LampColours green = LampColoursForFace(Brush(LampBrush::SecondRow));
  EXPECT_EQ(green.face, QColor(0, 255, 0));
  EXPECT_EQ(At(lower, kFace, kFace), green.face);
  EXPECT_EQ(At(lower, kShade, kShade), QColor(0, 128, 0)) << "the icon table's green shade";
  EXPECT_EQ(At(lower, 0.5, kSurroundY), At(lower, 0.5, 1 - kSurroundY));
  EXPECT_NE(At(lower, 0.5, kSurroundY), green.shade);
  // The ellipse fills the button, so its corners stay the button face.
  EXPECT_EQ(At(lower, 0.0, 0.0).alpha(), 0);
  EXPECT_EQ(At(lower, 0.99, 0.99).alpha(), 0);

  const QImage upper = Paint(kIdUpperButton);
  EXPECT_EQ(At(upper, kFace, kFace), kLampUnlitFill);
  EXPECT_LT(At(upper, kShade, kShade).lightness(), kLampUnlitFill.lightness());
  // The lamp reaches the button's edge, not beyond it.
  EXPECT_GT(upper.pixelColor(0, upper.height() / 2).alpha(), 0);
}

// A square lamp is the tray icon of its colour, pixel for pixel, at every
// scale.
class LampLook : public LampPainting, public ::testing::WithParamInterface<qreal> {};

TEST_P(LampLook, SquareWindowLampIsTheTrayIcon) {
  const qreal ratio = GetParam();
  t.AddColumn(0, kFirstSwitchId, kStateOff);
  t.AddColumn(0, kFirstSwitchId + 1, kStateOn);
  for (int size : {16, 48}) {
    for (auto [id, icon] : {std::pair{kIdUpperButton, kIconRed}, {kIdLowerButton + 1, kIconGreen}}) {
      QImage image(QSize(size, size) * ratio, QImage::Format_ARGB32_Premultiplied);
      image.setDevicePixelRatio(ratio);
      image.fill(Qt::transparent);
      QPainter painter(&image);
      PaintLamp(painter, dlg, id, QSize(size, size));
      painter.end();
      const QImage tray = DrawLamp(icon, size, ratio).toImage().convertToFormat(image.format());
      EXPECT_EQ(image, tray) << "lamp " << id << ", " << size << " px at " << ratio;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, LampLook, ::testing::Values(1.0, 1.5, 2.0));

TEST_F(LampPainting, ACountdownThatHasHardlyBegunShowsTheUnlitLampAlone) {
  SwitchRecord& r = t.AddColumn(0, kFirstSwitchId, kStateOn);
  const QImage unlit = Paint(kIdUpperButton);
  r.m_timer = 100;
  r.m_countdown = 1000;  // just armed: share 0
  EXPECT_EQ(Paint(kIdUpperButton), unlit);
  r.m_countdown = 996;  // share 0.004
  EXPECT_EQ(Paint(kIdUpperButton), unlit);
  r.m_countdown = 990;  // share 0.01
  EXPECT_NE(Paint(kIdUpperButton), unlit);
}

// A running countdown lights a wedge of the lamp from twelve o'clock
// clockwise through its elapsed share of the full circle; the rest of the
// lamp stays unlit, outline and all.
class PieShare : public LampPainting, public ::testing::WithParamInterface<double> {};

TEST_P(PieShare, LightsTheWedgeClockwiseFromTwelveInsideTheUnlitLamp) {
  const double share = GetParam();
  SwitchRecord& r = t.AddColumn(0, kFirstSwitchId, kStateOff);
  const QImage lit = Paint(kIdUpperButton);
  r.m_state = kStateOn;
  const QImage unlit = Paint(kIdUpperButton);
  r.m_timer = 100;
  r.m_countdown = static_cast<int>(std::lround(1000 * (1 - share)));
  const QImage image = Paint(kIdUpperButton);
  const double sweep = share * 360;
  for (int degrees = 5; degrees < 360; degrees += 10) {
    if (std::abs(degrees - sweep) < 6) continue;  // too close to the edge of the wedge
    const double a = degrees * M_PI / 180;
    // From the face through the shade out to the surround.
    for (double radius : {0.15, 0.3, 0.47}) {
      const double fx = 0.5 + radius * std::sin(a), fy = 0.5 - radius * std::cos(a);
      EXPECT_TRUE(Near(At(image, fx, fy), At(degrees < sweep ? lit : unlit, fx, fy)))
          << degrees << " degrees, radius " << radius << ", share " << share;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shares, PieShare, ::testing::Values(0.1, 0.25, 0.5, 0.75, 0.9),
                         [](const auto& info) {
                           return "Percent" + std::to_string(static_cast<int>(info.param * 100));
                         });

// A lamp the window's bottom edge cuts, as one-line display leaves the lower
// row: no sliver of it shows and no click on the sliver switches.
TEST_F(LampPainting, ALampTheWindowEdgeCutsIsNeitherDrawnNorClickable) {
  t.AddColumn(0, kFirstSwitchId, kStateOn);
  QWidget window;
  window.resize(kButton.width(), kButton.height() + 10);
  CLampButton lamp(kIdLowerButton, &window);
  lamp.SetDialog(&dlg);
  int clicks = 0;
  QObject::connect(&lamp, &QAbstractButton::clicked, [&] { ++clicks; });
  const QPoint inside(kButton.width() / 2, 5);

  lamp.setGeometry(QRect(QPoint(0, 10), kButton));
  EXPECT_FALSE(lamp.CutOff());
  EXPECT_FALSE(Blank(Rendered(lamp)));
  QTest::mouseClick(&lamp, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks, 1);

  lamp.setGeometry(QRect(QPoint(0, 20), kButton));
  EXPECT_TRUE(lamp.CutOff());
  EXPECT_TRUE(Blank(Rendered(lamp)));
  QTest::mouseClick(&lamp, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks, 1);
}

// Arrows: channel 1's first- and second-row buttons point down, all others up.
struct ArrowCase {
  int id;
  bool down;
};

class ArrowDirection : public LampPainting, public ::testing::WithParamInterface<ArrowCase> {};

TEST_P(ArrowDirection, HeadIsWhereTheArrowPoints) {
  dlg.m_arrow = 1;
  for (int c = 0; c < 3; ++c) t.AddColumn(0, kFirstSwitchId + c, kStateOff);
  const QImage image = Paint(GetParam().id);
  // Just above the middle the head is nearly full width; just below it only
  // the shaft is, and the other way round for an arrow pointing down.
  const bool filledAbove = At(image, 0.1, 0.45).alpha() > 0;
  const bool filledBelow = At(image, 0.1, 0.55).alpha() > 0;
  EXPECT_EQ(filledAbove, !GetParam().down);
  EXPECT_EQ(filledBelow, GetParam().down);
  // The shaft's middle is filled either way.
  EXPECT_GT(At(image, 0.5, GetParam().down ? 0.1 : 0.9).alpha(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, ArrowDirection,
    ::testing::Values(ArrowCase{kIdUpperButton, false}, ArrowCase{kIdUpperButton + 1, true},
                      ArrowCase{kIdLowerButton, false}, ArrowCase{kIdLowerButton + 1, true},
                      ArrowCase{kIdThirdButton + 1, false}, ArrowCase{kIdUpperButton + 2, false}),
    [](const auto& info) {
      return test::RowName(
          info.index, "Id" + std::to_string(info.param.id) + (info.param.down ? "_Down" : "_Up"));
    });

}  // namespace
}  // namespace toggra::gui
