// Qt keys as the Windows virtual-key codes the key map of the main dialog is
// written in.
#pragma once

#include <Qt>

namespace toggra::gui {

// The virtual-key code of a key press, or 0 when the key has none the
// program looks at. Keypad keys are told apart by Qt::KeypadModifier.
int VirtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace toggra::gui
