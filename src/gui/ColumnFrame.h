// The frame of a column with its caption.
#pragma once

class QGroupBox;
class QWidget;

namespace toggra::gui {

// A group box whose caption keeps a little room from the frame's left and
// right edge: the first column's frame stands on the window's edge, where a
// caption the style puts flush left would touch it.
QGroupBox* NewColumnFrame(QWidget* parent);

}  // namespace toggra::gui
