#include "gui/TemplateDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Ids.h"

namespace toggra::gui {

QString ControlName(int id) { return QStringLiteral("id%1").arg(id); }

CTemplateDialog::CTemplateDialog(const QString& title, int cx, int cy, QWidget* parent)
    : QDialog(parent), m_units(DialogUnits::DialogFont()) {
  setFont(DialogUnits::DialogFont());
  setWindowTitle(title);
  // A modal frame: no resizing, no help or minimise buttons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(m_units.X(cx), m_units.Y(cy));
  // While the main window sits in the tray this dialog may be the only
  // visible window; closing it must not end the program.
  setAttribute(Qt::WA_QuitOnClose, false);
}

QWidget* CTemplateDialog::Control(int id) const {
  const auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

void CTemplateDialog::Place(QWidget* w, int id, const DlgRect& r) {
  const Rect px = m_units.Map(r);
  w->setGeometry(px.left, px.top, px.Width(), px.Height());
  if (id > 0) {
    w->setObjectName(ControlName(id));
    m_controls[id] = w;
  }
}

QPushButton* CTemplateDialog::AddButton(int id, const QString& text, const DlgRect& r,
                                        bool isDefault) {
  auto* b = new QPushButton(text, this);
  Place(b, id, r);
  b->setDefault(isDefault);
  if (id == IDOK) connect(b, &QPushButton::clicked, this, &QDialog::accept);
  if (id == IDCANCEL) connect(b, &QPushButton::clicked, this, &QDialog::reject);
  return b;
}

QLabel* CTemplateDialog::AddLabel(int id, const QString& text, const DlgRect& r,
                                  Qt::Alignment align) {
  auto* l = new QLabel(text, this);
  l->setAlignment(align | Qt::AlignTop);
  Place(l, id, r);
  return l;
}

QLineEdit* CTemplateDialog::AddEdit(int id, const DlgRect& r) {
  auto* e = new QLineEdit(this);
  Place(e, id, r);
  return e;
}

QCheckBox* CTemplateDialog::AddCheckBox(int id, const QString& text, const DlgRect& r) {
  auto* c = new QCheckBox(text, this);
  Place(c, id, r);
  WidenToText(c);
  return c;
}

// The template's widths were measured for another font and a smaller check
// mark; a text that no longer fits gets the room it needs, up to the edge.
void CTemplateDialog::WidenToText(QWidget* w) {
  const int needed = qMin(w->sizeHint().width(), width() - w->x());
  if (needed > w->width()) w->resize(needed, w->height());
}

QGroupBox* CTemplateDialog::AddGroupBox(int id, const QString& text, const DlgRect& r) {
  auto* g = new QGroupBox(text, this);
  Place(g, id, r);
  // A frame drawn around sibling controls: below them, so it neither hides
  // nor swallows their clicks.
  g->lower();
  g->setFocusPolicy(Qt::NoFocus);
  return g;
}

}  // namespace toggra::gui
