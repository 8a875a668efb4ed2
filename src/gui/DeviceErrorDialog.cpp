#include "gui/DeviceErrorDialog.h"

#include "app/Ids.h"

namespace toggra::gui {

CDeviceErrorDialog::CDeviceErrorDialog(CDeviceError&, QWidget* parent)
    : CTemplateDialog(QString::fromUtf8(kStrError), 148, 69, parent) {
  setWindowFlag(Qt::WindowStaysOnTopHint);
  AddButton(IDOK, QStringLiteral("OK"), {17, 40, 50, 14}, true);
  AddButton(IDCANCEL, QStringLiteral("Abbrechen"), {77, 40, 50, 14}, false);
  AddLabel(0, QStringLiteral("Es wurde kein USB-Gerät gefunden."), {6, 10, 139, 8},
           Qt::AlignHCenter);
  AddLabel(0, QStringLiteral("Anwendung wird beendet"), {6, 24, 139, 8}, Qt::AlignHCenter);
}

}  // namespace toggra::gui
