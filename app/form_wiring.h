#pragma once
// Connects the widgets' events to the main form's handlers.

#include "app/main_window.h"
#include "views/main_form.h"

namespace vt::app {

void ConnectEvents(MainWindow& window, TMainForm& form);

}  // namespace vt::app
