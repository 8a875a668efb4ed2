// A notification area that records icons and menus.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/TrayShell.h"

namespace toggra::test {

class FakeTrayShell : public ITrayShell {
 public:
  struct Call {
    int message;
    NotifyIconData data;
  };
  std::vector<Call> calls;
  std::map<int, NotifyIconData> icons;  // live icons by uID
  bool failAdd = false;
  int menuAnswer = 0;  // the command TrackPopupMenu returns
  std::vector<std::vector<TrayMenuItem>> menus;
  std::vector<int> menuDefaults;
  int foreground = 0;
  int hidden = 0;  // HideToTray calls
  int shown = 0;   // ShowFromTray calls

  bool NotifyIcon(int message, const NotifyIconData& data) override {
    calls.push_back({message, data});
    if (message == NIM_ADD) {
      if (failAdd) return false;
      icons[data.uID] = data;
    } else if (message == NIM_MODIFY) {
      if (!icons.count(data.uID)) return false;
      if (data.uFlags & NIF_ICON) icons[data.uID].hIcon = data.hIcon;
    } else if (message == NIM_DELETE) {
      return icons.erase(data.uID) > 0;
    }
    return true;
  }
  int TrackPopupMenu(int, const std::vector<TrayMenuItem>& items, int defaultPos) override {
    menus.push_back(items);
    menuDefaults.push_back(defaultPos);
    return menuAnswer;
  }
  void SetForegroundWindow() override { ++foreground; }
  void HideToTray() override { ++hidden; }
  void ShowFromTray() override { ++shown; }

  IconId IconOf(int uID) const {
    auto it = icons.find(uID);
    return it == icons.end() ? 0 : it->second.hIcon;
  }
};

}  // namespace toggra::test
