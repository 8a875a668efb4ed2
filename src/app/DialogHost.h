// What the main dialog needs of its window: the front-end implements it with
// a real window, tests with a recording fake.
#pragma once

#include <cstdint>
#include <string>

#include "app/Controls.h"
#include "app/Geometry.h"
#include "app/Ids.h"

namespace toggra {

class IDialogHost {
 public:
  virtual ~IDialogHost() = default;

  // A control's text, enabled, visible or pressed state or place changed.
  virtual void ControlChanged(const CControl& control) = 0;
  // InvalidateRect with erase: one owner-drawn button, or the whole dialog.
  virtual void InvalidateControl(int id) = 0;
  virtual void InvalidateAll() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetIcon(IconId icon) = 0;
  // Adds an item to the window's system menu (on Linux its context menu).
  virtual void AddSystemMenuItem(int id, const std::string& text, bool separatorBefore) = 0;
  // Ends the modal loop with this result once the current message is done.
  virtual void EndDialog(int result) = 0;
  // PostMessage to the dialog itself: delivered later through OnMessage.
  virtual void PostMessage(int msg, uintptr_t wParam, intptr_t lParam) = 0;
  virtual void SetFocus(int id) = 0;

  // Window geometry, pixels.
  virtual Rect MapDialogRect(const DlgRect& r) = 0;  // dialog units -> client pixels
  virtual Point ClientOrigin() = 0;  // client area's offset inside the outer window
  virtual Size OuterSize() = 0;
  virtual void SetOuterSize(int cx, int cy) = 0;
  virtual int ClientWidth() = 0;
};

}  // namespace toggra
