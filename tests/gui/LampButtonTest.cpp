// The lamp buttons as the user sees them: the picture painted for each lamp
// decision.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "gui/LampButton.h"
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

TEST_F(LampPainting, WholeLampsAreLitInTheirRowColourOrUnlitWithinTheButton) {
  t.AddColumn(0, kFirstSwitchId, kStateOn);
  const QImage lower = Paint(kIdLowerButton);
  EXPECT_EQ(At(lower, 0.5, 0.5), Brush(LampBrush::SecondRow));
  EXPECT_EQ(At(lower, 0.5, 0.5), QColor(0, 255, 0));
  // The ellipse fills the button, so its corners stay the button face.
  EXPECT_EQ(At(lower, 0.0, 0.0).alpha(), 0);
  EXPECT_EQ(At(lower, 0.99, 0.99).alpha(), 0);

  const QImage upper = Paint(kIdUpperButton);
  EXPECT_EQ(At(upper, 0.5, 0.5), kLampUnlitFill);
  // The outline is on the button's edge, not cut off beyond it.
  const QColor edge = upper.pixelColor(0, upper.height() / 2);
  EXPECT_GT(edge.alpha(), 0);
  EXPECT_LT(edge.lightness(), kLampUnlitFill.lightness());
}

TEST_F(LampPainting, GroupLayoutLampsTakeTheCommandLineColours) {
  dlg.m_groupMode = 1;
  dlg.m_colour1 = 0x0000FF;  // red, as a colour value
  dlg.m_colour2 = 0x003399;  // what -D gives without numbers
  for (int c = 0; c < 8; ++c) t.AddColumn(0, kFirstSwitchId + c, c == 0 || c == 4 ? 1 : 0);
  EXPECT_EQ(At(Paint(kIdUpperButton), 0.5, 0.5), QColor(153, 51, 0));
  EXPECT_EQ(At(Paint(kIdLowerButton), 0.5, 0.5), QColor(255, 0, 0));
  EXPECT_EQ(At(Paint(kIdUpperButton + 1), 0.5, 0.5), kLampUnlitFill);
}

TEST_F(LampPainting, ACountdownThatHasHardlyBegunShowsNothingAtAll) {
  SwitchRecord& r = t.AddColumn(0, kFirstSwitchId, kStateOn);
  r.m_timer = 100;
  r.m_countdown = 1000;  // just armed: share 0
  EXPECT_TRUE(Blank(Paint(kIdUpperButton)));
  r.m_countdown = 996;  // share 0.004
  EXPECT_TRUE(Blank(Paint(kIdUpperButton)));
  r.m_countdown = 990;  // share 0.01
  EXPECT_FALSE(Blank(Paint(kIdUpperButton)));
}

// A running countdown fills a wedge from twelve o'clock clockwise through its
// elapsed share of the full circle.
class PieShare : public LampPainting, public ::testing::WithParamInterface<double> {};

TEST_P(PieShare, FillsTheWedgeClockwiseFromTwelve) {
  const double share = GetParam();
  SwitchRecord& r = t.AddColumn(0, kFirstSwitchId, kStateOn);
  r.m_timer = 100;
  r.m_countdown = static_cast<int>(std::lround(1000 * (1 - share)));
  const QImage image = Paint(kIdUpperButton);
  const QColor lit = Brush(LampBrush::FirstRow);
  const double sweep = share * 360;
  for (int degrees = 5; degrees < 360; degrees += 10) {
    if (std::abs(degrees - sweep) < 6) continue;  // too close to the edge of the wedge
    const double a = degrees * M_PI / 180;
    const double fx = 0.5 + 0.3 * std::sin(a), fy = 0.5 - 0.3 * std::cos(a);
    const QColor pixel = At(image, fx, fy);
    if (degrees < sweep)
      EXPECT_EQ(pixel, lit) << degrees << " degrees, share " << share;
    else
      EXPECT_EQ(pixel.alpha(), 0) << degrees << " degrees, share " << share;
  }
}

INSTANTIATE_TEST_SUITE_P(Shares, PieShare, ::testing::Values(0.1, 0.25, 0.5, 0.75, 0.9),
                         [](const auto& info) {
                           return "Percent" + std::to_string(static_cast<int>(info.param * 100));
                         });

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
