// The lamp pictures of the window and the tray icons, drawn at every size.
#pragma once

#include <QIcon>

#include "app/Ids.h"

namespace toggra::gui {

// kIconApp, kIconGreen, kIconRed, kIconYellow, kIconWhite.
QIcon LampIcon(IconId id);

}  // namespace toggra::gui
