#include "res/DialogTemplate.h"

namespace vexlo::res {

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id) {
  if (id == 0) return nullptr;
  for (const ControlTemplate& control : dialog.controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

}  // namespace vexlo::res
