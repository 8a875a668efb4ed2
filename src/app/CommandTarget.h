#pragma once

namespace toggra {

// Receives WM_COMMAND: button clicks and menu commands by their ID.
class ICommandTarget {
 public:
  virtual ~ICommandTarget() = default;
  virtual void OnCommand(int id) = 0;
};

}  // namespace toggra
