// The controls of a dialog as the core keeps them: the front-end shows each
// control's text, enabled, visible and pressed state and its place.
#pragma once

#include <map>
#include <string>

#include "app/Geometry.h"

namespace toggra {

enum class ControlKind { GroupBox, OwnerDrawButton, PushButton };

struct CControl {
  int id = 0;
  ControlKind kind = ControlKind::PushButton;
  std::string text;
  bool enabled = true;
  bool visible = true;
  bool pressed = false;  // BM_SETSTATE: the pushed look
  DlgRect templateRect;  // place in the dialog template, dialog units
  Rect rect;             // place in the client area, pixels (set at start-up)
};

}  // namespace toggra
