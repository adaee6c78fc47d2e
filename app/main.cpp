// vtutility: the desktop program.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/desktop.h"
#include "app/painting_backend.h"
#include "platform/files.h"
#include "platform/named_objects.h"
#include "tools/command_line_words.h"
#include "views/backend_choice.h"

namespace {

struct Options {
    bool demo = false;
    std::string bench_file;
    std::string screenshot;  // grab the window after start-up, save it as PNG and quit
    std::string command_line;
    // The self-test answers with an empty RW_OK.txt or RW_Fail.txt instead of a message box.
    bool rw_result_files = false;
    bool ok = true;
};

// The program's own options are taken out; what is left is the command line the command-line
// actions look at, with the program's path first.
Options ParseOptions(int argc, char** argv) {
    Options options;
    std::vector<std::string> kept{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool has_value = i + 1 < argc;
        if (word == "--demo") {
            options.demo = true;
        } else if (word == "--rw-result-file") {
            options.rw_result_files = true;
        } else if ((word == "--bench" || word == "--screenshot") && !has_value) {
            std::fprintf(stderr, "vtutility: %s needs a file name\n", word.c_str());
            options.ok = false;
        } else if (word == "--bench") {
            options.bench_file = argv[++i];
        } else if (word == "--screenshot") {
            options.screenshot = argv[++i];
        } else {
            kept.push_back(word);
        }
    }
    options.command_line = vt::JoinCommandLine(kept);
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    // A second copy must not touch any drive the first is working on.
    const vt::platform::InstanceGuard guard("VTUtil");
    if (guard.state() == vt::platform::InstanceGuard::State::AlreadyExists) return 0;
    if (guard.state() == vt::platform::InstanceGuard::State::Failed) {
        std::fprintf(stderr, "vtutility: %s\n", guard.error().c_str());
    }

    const Options options = ParseOptions(argc, argv);
    QApplication application(argc, argv);
    if (!options.ok) return 1;
    std::string error;
    if (!vt::InstallChosenBackend(options.bench_file, options.demo, error)) {
        std::fprintf(stderr, "vtutility: %s\n", error.c_str());
        QMessageBox::critical(nullptr, QStringLiteral("vtutility"),
                              QString::fromLocal8Bit(error.c_str()));
        return 1;
    }

    vt::app::PaintBetweenCommands(
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

    try {
        vt::FormEnvironment environment{vt::platform::ProgramDirectory(), options.command_line, {}};
        environment.rw_result_files = options.rw_result_files;
        vt::app::Desktop desktop(std::move(environment));
        desktop.Start([&] {
            if (options.screenshot.empty()) return;
            // Let the window settle on screen before it is grabbed.
            QTimer::singleShot(300, &desktop.window, [&] {
                const bool saved = desktop.window.grab().save(
                    QString::fromLocal8Bit(options.screenshot.c_str()), "PNG");
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
