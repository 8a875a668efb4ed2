#include "gui/KeyMapping.h"

#include <array>

#include "app/Ids.h"

namespace toggra::gui {

namespace {

struct KeyRow {
  int qtKey;
  int virtualKey;
};

// The operator keys of the numeric keypad. The decimal key reads "," on a
// German keypad and "." elsewhere; Windows gives both the same code.
constexpr std::array<KeyRow, 6> kKeypadOperators = {{
    {Qt::Key_Slash, VK_DIVIDE},
    {Qt::Key_Asterisk, VK_MULTIPLY},
    {Qt::Key_Minus, VK_SUBTRACT},
    {Qt::Key_Plus, VK_ADD},
    {Qt::Key_Comma, VK_DECIMAL},
    {Qt::Key_Period, VK_DECIMAL},
}};

constexpr int kFunctionKeys = 24;  // F1 .. F24 are 0x70 .. 0x87

}  // namespace

int VirtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + kFunctionKeys) return VK_F1 + (qtKey - Qt::Key_F1);
  if (qtKey == Qt::Key_Space) return VK_SPACE;
  if (!(modifiers & Qt::KeypadModifier)) return 0;
  // With Num Lock off the keypad digits arrive as cursor keys, which have no
  // mapping here, as on Windows.
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return VK_NUMPAD0 + (qtKey - Qt::Key_0);
  for (const KeyRow& row : kKeypadOperators)
    if (row.qtKey == qtKey) return row.virtualKey;
  return 0;
}

}  // namespace toggra::gui
