#pragma once

#include <QWidget>

#include "platform/qt/DialogUnits.h"
#include "res/DialogTemplate.h"

// The Qt widgets made from the templates' controls.

namespace vexlo::platform::qt {

/// Creates the widget of one template control inside parent, placed in pixels: its object name
/// is the control ID in decimal, its accessible name and caption come from the template, a
/// drop-down list holds its entries with nothing selected, and a hidden control is created
/// invisible and disabled. Push buttons never act as default buttons for the Enter key.
/// Radio buttons are not grouped here: the caller puts them into their groups.
QWidget* CreateControl(const res::ControlTemplate& control, BaseUnits units, QWidget* parent);

}  // namespace vexlo::platform::qt
