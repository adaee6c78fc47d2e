#include <gtest/gtest.h>

#include <unistd.h>

#include <sys/stat.h>

#include <QProcess>
#include <filesystem>
#include <fstream>

#include "platform/named_objects.h"
#include "tests/support/fake_backend.h"

namespace vt::app {
namespace {

struct Ended {
    int status = -1;
    std::string out, err;
};

Ended RunProgram(const QStringList& arguments, const QProcessEnvironment& environment =
                                                   QProcessEnvironment::systemEnvironment()) {
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VTUTILITY_PATH), arguments);
    Ended ended;
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished();
        return ended;
    }
    ended.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    ended.out = program.readAllStandardOutput().toStdString();
    ended.err = program.readAllStandardError().toStdString();
    return ended;
}

TEST(SingleInstance, SecondCopySaysWhoRunsAndEndsWithoutAWindow) {
    test::ScopedTempDir dir;
    const platform::InstanceGuard first("VTUtil");
    ASSERT_EQ(first.state(), platform::InstanceGuard::State::Created);
    const std::string holder = "(process " + std::to_string(::getpid()) + ")";

    const auto plain = RunProgram({"--demo"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.err.find("already running " + holder), std::string::npos) << plain.err;

    // A screenshot or a self-test result was asked for: this copy cannot give it.
    const QString shot = QString::fromStdString(dir.File("shot.png"));
    const auto grab = RunProgram({"--demo", "--screenshot", shot});
    EXPECT_EQ(grab.status, 1);
    EXPECT_NE(grab.err.find("already running " + holder), std::string::npos) << grab.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("shot.png")));
    EXPECT_EQ(RunProgram({"--demo", "--rw-result-file", "rwtest"}).status, 1);
}

TEST(SingleInstance, GuardNamesItsHolderToALaterCopy) {
    const platform::InstanceGuard first("VTUtilGuardTest");
    ASSERT_EQ(first.state(), platform::InstanceGuard::State::Created);
    EXPECT_FALSE(first.HolderPid());
    const platform::InstanceGuard second("VTUtilGuardTest");
    EXPECT_EQ(second.state(), platform::InstanceGuard::State::AlreadyExists);
    EXPECT_EQ(second.HolderPid(), ::getpid());
}

// Usage, version and bad options are answered without a display: a window would need one.
TEST(ProgramOptions, AnsweredWithoutOpeningAWindow) {
    auto no_display = QProcessEnvironment::systemEnvironment();
    no_display.remove("DISPLAY");
    no_display.remove("WAYLAND_DISPLAY");
    no_display.insert("QT_QPA_PLATFORM", "xcb");
    const auto help = RunProgram({"--help"}, no_display);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: vtutility"), std::string::npos);
    EXPECT_NE(help.out.find("--rw-result-file"), std::string::npos);
    const auto version = RunProgram({"--demo", "--version"}, no_display);
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("vtutility 0."), std::string::npos);
    EXPECT_NE(version.out.find("JSON format version "), std::string::npos);
    for (const QStringList& bad : {QStringList{"--demo", "--frobnicate"}, QStringList{"--bench"},
                                   QStringList{"--demo", "--bench", "x.bench"}}) {
        const auto refused = RunProgram(bad, no_display);
        EXPECT_EQ(refused.status, 1) << bad.join(' ').toStdString();
        EXPECT_NE(refused.err.find("Usage: vtutility"), std::string::npos) << refused.err;
        EXPECT_EQ(refused.err.find("display"), std::string::npos) << refused.err;
    }
}

TEST(SingleInstance, FirstCopyShowsItsWindow) {
    test::ScopedTempDir dir;
    const QString shot = QString::fromStdString(dir.File("shot.png"));
    QProcess program;
    program.start(QStringLiteral(VTUTILITY_PATH), {"--demo", "--screenshot", shot});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(std::filesystem::exists(dir.File("shot.png")));
}

// The picture goes through the tools' checked replacement: before, it turned the victim into a PNG
// and waited on the FIFO for ever.
TEST(SingleInstance, AScreenshotNeverGoesThroughALinkOrIntoAFifo) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("victim")) << "keep";
    std::filesystem::create_symlink(dir.File("victim"), dir.File("sl"));
    ASSERT_EQ(::mkfifo(dir.File("ff").c_str(), 0600), 0);
    for (const std::string name : {"sl", "ff"}) {
        QProcess program;
        program.start(QStringLiteral(VTUTILITY_PATH),
                      {"--demo", "--screenshot", QString::fromStdString(dir.File(name))});
        ASSERT_TRUE(program.waitForFinished(60000)) << name;
        EXPECT_EQ(program.exitCode(), 1) << name;
        const auto err = program.readAllStandardError().toStdString();
        EXPECT_NE(err.find(name + ": It is a"), std::string::npos) << err;
    }
    EXPECT_EQ(test::ReadAll(dir.File("victim")).size(), 4u);
}

}  // namespace
}  // namespace vt::app
