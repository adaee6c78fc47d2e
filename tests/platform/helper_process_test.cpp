// The forwarding backend against the real helper program serving the demo bench: the same
// answers as the bench gives directly, refusals of what the enumeration did not list, and the
// helper's end when its client goes.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <thread>
#include <variant>

#include "platform/helper_backend.h"
#include "sim/bench.h"

extern char** environ;

namespace vt::platform {
namespace {

const std::vector<std::string> kDemoHelper = {VT_HELPER_PATH, "--serve-demo"};

// ATA IDENTIFY DEVICE through ATA PASS-THROUGH(16).
int Identify(Backend& backend, const std::string& path, std::array<std::uint8_t, 512>& data,
             std::array<std::uint8_t, 32>& sense) {
    const int handle = backend.Open(path);
    if (handle < 0) return handle;
    ScsiRequest request;
    request.SetCdb(std::array<std::uint8_t, 16>{0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0,
                                                0xA0, 0xEC, 0});
    request.direction = Direction::In;
    request.data = data;
    request.sense = sense;
    request.timeout_ms = 10'000;
    const int result = backend.ScsiPassThrough(handle, request);
    backend.Close(handle);
    return result == 0 ? static_cast<int>(request.outcome.sense_length) : -result;
}

// The same command as an ATA request: its registers, or the errno value.
std::variant<TaskFile, int> IdentifyAta(Backend& backend, const std::string& path,
                                        std::array<std::uint8_t, 512>& data) {
    const int handle = backend.Open(path);
    if (handle < 0) return handle;
    AtaRequest request;
    request.task_file = {0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    request.direction = Direction::In;
    request.data = data;
    request.timeout_ms = 10'000;
    const int result = backend.AtaPassThrough(handle, request);
    backend.Close(handle);
    if (result != 0) return result;
    return request.registers;
}

// Waits a little for a process to end; its exit status, or -1 when it is still running.
int ExitOf(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

TEST(HelperProcess, ForwardsTheBenchAsItAnswersDirectly) {
    std::string error;
    auto helper = StartHelper(kDemoHelper, error);
    ASSERT_TRUE(helper) << error;
    auto direct = sim::MakeDemoBench();

    const auto disks = helper->ListDisks();
    ASSERT_FALSE(disks.empty());
    const auto expected = direct->ListDisks();
    ASSERT_EQ(disks.size(), expected.size());
    for (std::size_t i = 0; i < disks.size(); ++i) {
        EXPECT_EQ(disks[i].path, expected[i].path);
        EXPECT_EQ(disks[i].bus, expected[i].bus);
        EXPECT_EQ(disks[i].node, expected[i].node);
        EXPECT_EQ(helper->DeviceNumberOf(disks[i].path), direct->DeviceNumberOf(disks[i].path));

        std::array<std::uint8_t, 512> forwarded{}, own{};
        std::array<std::uint8_t, 32> forwarded_sense{}, own_sense{};
        EXPECT_EQ(Identify(*helper, disks[i].path, forwarded, forwarded_sense),
                  Identify(*direct, disks[i].path, own, own_sense))
            << disks[i].path;
        EXPECT_EQ(forwarded, own) << disks[i].path;
        EXPECT_EQ(forwarded_sense, own_sense) << disks[i].path;
        EXPECT_EQ(IdentifyAta(*helper, disks[i].path, forwarded),
                  IdentifyAta(*direct, disks[i].path, own))
            << disks[i].path;
        EXPECT_EQ(forwarded, own) << disks[i].path;
    }
    // The bench's clock is the helper's: the client reads and advances that one.
    const auto before = helper->NowMs();
    helper->SleepMs(250'000);
    EXPECT_EQ(helper->NowMs() - before, 250'000u);

    std::string report;
    EXPECT_EQ(helper->Rescan(report), direct->Rescan(report));
}

TEST(HelperProcess, RefusesWhatItDidNotListAndWhatItWouldNotPass) {
    std::string error;
    auto helper = StartHelper(kDemoHelper, error);
    ASSERT_TRUE(helper) << error;
    ASSERT_FALSE(helper->ListDisks().empty());
    EXPECT_EQ(helper->Open("/etc/passwd"), -ENOENT);
    EXPECT_EQ(helper->Open("ide:/dev/sdz"), -ENOENT);
    EXPECT_EQ(helper->Open(std::string(300, 'a')), -ENOENT);
    EXPECT_FALSE(helper->DeviceNumberOf("/dev/null"));

    const int handle = helper->Open(helper->ListDisks().front().path);
    ASSERT_GE(handle, 0);
    std::vector<std::uint8_t> data(helper::kMaxTransfer + 512);
    ScsiRequest request;
    request.SetCdb(std::array<std::uint8_t, 16>{0x88, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x81});
    request.direction = Direction::In;
    request.data = data;
    request.timeout_ms = 10'000;
    EXPECT_EQ(helper->ScsiPassThrough(handle, request), EINVAL);
    request.data = std::span(data).first(512);
    request.cdb_length = 4;
    EXPECT_EQ(helper->ScsiPassThrough(handle, request), EINVAL);
    request.cdb_length = 16;
    request.direction = static_cast<Direction>(3);
    EXPECT_EQ(helper->ScsiPassThrough(handle, request), EINVAL);
    request.direction = Direction::In;
    request.timeout_ms = helper::kMaxTimeoutMs + 1;
    EXPECT_EQ(helper->ScsiPassThrough(handle, request), EINVAL);
    request.timeout_ms = 10'000;
    EXPECT_EQ(helper->ScsiPassThrough(handle + 1, request), EBADF);
    AtaRequest ata;
    ata.task_file = {0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    ata.direction = Direction::In;
    ata.data = data;
    EXPECT_EQ(helper->AtaPassThrough(handle, ata), EINVAL);
    ata.data = std::span(data).first(512);
    EXPECT_EQ(helper->AtaPassThrough(handle + 1, ata), EBADF);
    // Still in step after the refusals.
    EXPECT_EQ(helper->ScsiPassThrough(handle, request), 0);
    EXPECT_EQ(helper->AtaPassThrough(handle, ata), 0);
    helper->Close(handle);
    EXPECT_EQ(helper->ScsiPassThrough(handle, request), EBADF);
}

TEST(HelperProcess, EndsWhenItsClientGoesAndTheClientSurvivesItsEnd) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    std::vector<char*> argv;
    for (const auto& word : kDemoHelper) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    {
        HelperBackend client(ends[0], ends[0], -1);
        std::string error;
        ASSERT_TRUE(client.Greet(error)) << error;
        EXPECT_FALSE(client.ListDisks().empty());
    }
    EXPECT_EQ(ExitOf(pid), 0);

    // A helper that dies under its client: every operation fails, none hangs or crashes.
    std::string error;
    auto helper = StartHelper(kDemoHelper, error);
    ASSERT_TRUE(helper) << error;
    const auto disks = helper->ListDisks();
    ASSERT_FALSE(disks.empty());
    ASSERT_GT(helper->Child(), 0);
    ::kill(helper->Child(), SIGKILL);
    EXPECT_EQ(helper->Open(disks.front().path), -EIO);
    EXPECT_TRUE(helper->ListDisks().empty());
    std::string report;
    EXPECT_FALSE(helper->Rescan(report));
}

TEST(HelperProcess, AHelperThatCannotStartIsReported) {
    std::string error;
    EXPECT_FALSE(StartHelper({"/nonexistent/vtutility-helper"}, error));
    EXPECT_NE(error.find("/nonexistent/vtutility-helper"), std::string::npos) << error;
    EXPECT_FALSE(StartHelper({"/bin/false"}, error));
    EXPECT_EQ(error, "the helper did not answer");
    // A bench the helper cannot read: it ends before it answers.
    EXPECT_FALSE(StartHelper({VT_HELPER_PATH, "--serve-bench", "/nonexistent.json"}, error));
}

}  // namespace
}  // namespace vt::platform
