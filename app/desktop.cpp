#include "app/desktop.h"

#include <QTimer>

#include "app/form_wiring.h"

namespace vt::app {

Desktop::Desktop(FormEnvironment environment)
    : ui(window, splash), form(ui, std::move(environment)) {
    ConnectEvents(window, form);
}

void Desktop::Start(std::function<void()> then) {
    window.CentreOnScreen();
    window.show();
    QTimer::singleShot(0, &window, [this, then = std::move(then)] {
        RunGuarded(ui, [this] { form.FormShow(); });
        if (then) then();
    });
}

}  // namespace vt::app
