// vtutility: the desktop program.

#include <QApplication>
#include <QBuffer>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/desktop.h"
#include "platform/files.h"
#include "platform/named_objects.h"
#include "views/backend_choice.h"
#include "views/painting_backend.h"
#include "views/program_options.h"

namespace {

// The process ends with its main window, whatever other top-level window (the waiting window, a
// message box) is still around: an unattended run must come to an end.
class EndWithWindow final : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            auto* window = static_cast<QWidget*>(watched);
            QTimer::singleShot(0, this, [window] {
                if (!window->isVisible()) QCoreApplication::exit(0);
            });
        }
        return false;
    }
};

// Through the tools' one checked replacement: QImage::save would write through a link planted at
// the name, and wait on a FIFO for ever.
bool SaveScreenshot(QWidget& window, const std::string& path, std::string& error) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !window.grab().save(&buffer, "PNG")) {
        error = "cannot encode the screenshot as PNG";
        return false;
    }
    return vt::platform::ReplaceFile(path,
                                     {reinterpret_cast<const std::uint8_t*>(png.constData()),
                                      static_cast<std::size_t>(png.size())},
                                     error);
}

}  // namespace

int main(int argc, char** argv) {
    // Usage, version and bad options are answered before anything opens a window or a drive.
    const vt::ProgramOptions options = vt::ParseProgramOptions(argc, argv);
    if (options.action != vt::ProgramOptions::Action::Run) {
        return vt::AnswerWithoutWindow(options);
    }

    // A second copy must not touch any drive the first is working on.
    const vt::platform::InstanceGuard guard("VTUtil");
    if (guard.state() == vt::platform::InstanceGuard::State::AlreadyExists) {
        return vt::EndAsSecondCopy(options, guard.HolderPid());
    }
    if (guard.state() == vt::platform::InstanceGuard::State::Failed) {
        std::fprintf(stderr, "vtutility: %s\n", guard.error().c_str());
    }

    QApplication application(argc, argv);
    std::string error;
    if (!vt::InstallChosenBackend(options.bench_file, options.demo, error)) {
        std::fprintf(stderr, "vtutility: %s\n", error.c_str());
        QMessageBox::critical(nullptr, QStringLiteral("vtutility"),
                              QString::fromLocal8Bit(error.c_str()));
        return 1;
    }

    vt::PaintBetweenCommands(
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

    try {
        vt::FormEnvironment environment{vt::platform::ProgramDirectory(), options.command_line, {}};
        environment.rw_result_files = options.rw_result_files;
        vt::app::Desktop desktop(std::move(environment));
        EndWithWindow end_with_window;
        desktop.window.installEventFilter(&end_with_window);
        desktop.Start([&] {
            if (options.screenshot.empty()) return;
            // Let the window settle on screen before it is grabbed.
            QTimer::singleShot(300, &desktop.window, [&] {
                std::string error;
                const bool saved = SaveScreenshot(desktop.window, options.screenshot, error);
                if (!saved) std::fprintf(stderr, "vtutility: %s\n", error.c_str());
                QApplication::exit(saved ? 0 : 1);
            });
        });
        return application.exec();
    } catch (const std::exception& failure) {
        QMessageBox::critical(nullptr, QStringLiteral("vtutility"),
                              QString::fromLocal8Bit(failure.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("vtutility"), QString());
    }
    return 0;
}
