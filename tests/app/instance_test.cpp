#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "platform/named_objects.h"
#include "tests/support/fake_backend.h"

namespace vt::app {
namespace {

TEST(SingleInstance, SecondCopyEndsAtOnceWithoutAWindow) {
    test::ScopedTempDir dir;
    const platform::InstanceGuard first("VTUtil");
    ASSERT_NE(first.state(), platform::InstanceGuard::State::Failed);
    const QString shot = QString::fromStdString(dir.File("shot.png"));
    QProcess second;
    second.start(QStringLiteral(VTUTILITY_PATH), {"--demo", "--screenshot", shot});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    // The window would have been grabbed into this file once shown.
    EXPECT_FALSE(std::filesystem::exists(dir.File("shot.png")));
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

}  // namespace
}  // namespace vt::app
