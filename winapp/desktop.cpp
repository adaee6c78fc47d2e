#include "winapp/desktop.h"

namespace vt::win {

Desktop::Desktop(HINSTANCE instance, FormEnvironment environment, int dpi)
    : window(instance, dpi),
      splash(instance),
      ui(window, splash),
      form(ui, std::move(environment)) {
    window.Connect(&form);
}

void Desktop::Start(std::function<void()> then) {
    window.OnStarted([this, then = std::move(then)] {
        RunGuarded(ui, [this] { form.FormShow(); });
        if (then) then();
    });
    window.Show();
}

int RunMessageLoop(HWND main_window) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab and the arrow keys move between the controls, as in a dialog.
        if (IsWindow(main_window) && IsDialogMessageW(main_window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace vt::win
