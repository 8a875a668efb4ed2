// A window for the main dialog that records what the core asks of it. Dialog
// units map to pixels as with a font of 6 x 13 pixels base units; the frame is
// 4 pixels wide with a 24-pixel caption.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/DialogHost.h"

namespace toggra::test {

class FakeHost : public IDialogHost {
 public:
  static constexpr int kBaseX = 6, kBaseY = 13, kFrame = 4, kCaption = 24;

  std::string title;
  IconId icon = 0;
  std::vector<std::pair<int, std::string>> systemMenu;  // id, text
  std::vector<int> separators;                          // ids with a separator before
  std::vector<int> ended;                               // EndDialog results
  std::vector<std::pair<int, uintptr_t>> posted;        // message, wParam
  std::vector<int> invalidated;                         // ids; -1 = whole dialog
  std::vector<int> changed;                             // ControlChanged ids
  int focus = 0;
  Size outer{800, 300};

  void ControlChanged(const CControl& c) override { changed.push_back(c.id); }
  void InvalidateControl(int id) override { invalidated.push_back(id); }
  void InvalidateAll() override { invalidated.push_back(-1); }
  void SetTitle(const std::string& t) override { title = t; }
  void SetIcon(IconId i) override { icon = i; }
  void AddSystemMenuItem(int id, const std::string& text, bool sep) override {
    systemMenu.emplace_back(id, text);
    if (sep) separators.push_back(id);
  }
  void EndDialog(int result) override { ended.push_back(result); }
  void PostMessage(int msg, uintptr_t wParam, intptr_t) override { posted.emplace_back(msg, wParam); }
  void SetFocus(int id) override { focus = id; }
  Rect MapDialogRect(const DlgRect& r) override {
    const int l = r.x * kBaseX / 4, t = r.y * kBaseY / 8;
    return {l, t, l + r.cx * kBaseX / 4, t + r.cy * kBaseY / 8};
  }
  Point ClientOrigin() override { return {kFrame, kCaption}; }
  Size OuterSize() override { return outer; }
  void SetOuterSize(int cx, int cy) override { outer = {cx, cy}; }
  int ClientWidth() override { return outer.cx - 2 * kFrame; }

  int InvalidationsOf(int id) const {
    int n = 0;
    for (int v : invalidated) n += v == id;
    return n;
  }
};

}  // namespace toggra::test
