#include "gui/ColumnFrame.h"

#include <QApplication>
#include <QGroupBox>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionGroupBox>

namespace toggra::gui {

namespace {

// The caption's room on each side, as a share of the font's average letter
// width: half a letter is two dialog units.
constexpr int kPaddingDivisor = 2;

// The application's style with the caption rectangle moved in. The frame asks
// the same rectangle for any gap it leaves for the caption, so the two stay
// together in every style.
class CCaptionPaddingStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl sub, const QWidget* widget) const override {
    QRect r = QProxyStyle::subControlRect(control, option, sub, widget);
    if (control != CC_GroupBox || sub != SC_GroupBoxLabel) return r;
    const QRect box = option->rect;
    const int padding = option->fontMetrics.averageCharWidth() / kPaddingDivisor;
    if (r.left() < box.left() + padding) r.moveLeft(box.left() + padding);
    if (r.right() > box.right() - padding) r.setRight(box.right() - padding);
    return r;
  }
};

// One style for all frames, owned by the application so that it outlives
// every window.
QStyle* CaptionPaddingStyle() {
  static QPointer<QStyle> style;
  if (!style && QCoreApplication::instance()) {
    style = new CCaptionPaddingStyle(QApplication::style()->name());
    style->setParent(QCoreApplication::instance());
  }
  return style;
}

}  // namespace

QGroupBox* NewColumnFrame(QWidget* parent) {
  auto* frame = new QGroupBox(parent);
  if (QStyle* style = CaptionPaddingStyle()) frame->setStyle(style);
  return frame;
}

}  // namespace toggra::gui
