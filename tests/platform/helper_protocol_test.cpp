// The helper's wire format and its server over a recording backend: what is refused never reaches
// the backend, and what passes arrives as the client sent it.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "platform/helper_channel.h"
#include "platform/helper_protocol.h"
#include "platform/helper_server.h"
#include "tests/support/fake_backend.h"

namespace vt::platform::helper {
namespace {

void FillCall(Call& call, std::uint32_t handle, Direction direction, std::uint32_t length) {
    call.handle = handle;
    call.direction = direction;
    call.transfer_length = length;
    call.timeout_ms = 10'000;
    call.max_sense = 32;
    if (direction == Direction::Out) call.data_out.assign(length, 0x5A);
}

Request SgCall(std::uint32_t handle, Direction direction, std::uint32_t length) {
    Request request;
    request.op = Op::ScsiPassThrough;
    FillCall(request.scsi, handle, direction, length);
    request.scsi.cdb = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
    return request;
}

// IDENTIFY DEVICE (or, with data out, a PIO write) as an ATA request.
Request AtaCallOf(std::uint32_t handle, Direction direction, std::uint32_t length) {
    Request request;
    request.op = Op::AtaPassThrough;
    FillCall(request.ata, handle, direction, length);
    request.ata.task_file = {0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    return request;
}

std::string Refused(const std::vector<std::uint8_t>& body) {
    auto decoded = DecodeRequest(body);
    const auto* fault = std::get_if<std::string>(&decoded);
    return fault ? *fault : std::string();
}

TEST(HelperProtocol, RequestsAndAnswersSurviveTheWire) {
    const Request sent = SgCall(7, Direction::Out, 512);
    auto decoded = DecodeRequest(EncodeRequest(sent));
    ASSERT_TRUE(std::holds_alternative<Request>(decoded)) << std::get<std::string>(decoded);
    const auto& got = std::get<Request>(decoded).scsi;
    EXPECT_EQ(got.handle, 7u);
    EXPECT_EQ(got.cdb, sent.scsi.cdb);
    EXPECT_EQ(got.data_out, sent.scsi.data_out);
    EXPECT_EQ(got.timeout_ms, 10'000u);

    Answer answer;
    answer.op = Op::ScsiPassThrough;
    answer.call.outcome.scsi_status = 2;
    answer.call.outcome.transport = Transport::Failed;
    answer.call.outcome.residue = 4;
    answer.call.sense = {0x72, 1, 0, 0x1D};
    answer.call.data_in.assign(kMaxTransfer, 0xC3);
    auto back = DecodeAnswer(EncodeAnswer(answer));
    ASSERT_TRUE(std::holds_alternative<Answer>(back));
    const auto& call = std::get<Answer>(back).call;
    EXPECT_EQ(call.sense, answer.call.sense);
    EXPECT_EQ(call.data_in, answer.call.data_in);
    EXPECT_EQ(call.outcome.residue, 4u);
    EXPECT_EQ(call.outcome.transport, Transport::Failed);

    answer = {};
    answer.op = Op::ListDisks;
    for (int i = 0; i < static_cast<int>(kMaxDisks); ++i)
        answer.disks.push_back({"ide:/dev/" + std::string(kMaxPath - 9, 'x'), "ide", "/dev/sda"});
    const auto list = EncodeAnswer(answer);
    EXPECT_LE(list.size(), kMaxFrame);
    back = DecodeAnswer(list);
    ASSERT_TRUE(std::holds_alternative<Answer>(back));
    EXPECT_EQ(std::get<Answer>(back).disks.size(), kMaxDisks);
}

TEST(HelperProtocol, MalformedRequestsAreRefusedWithAReason) {
    auto with = [](auto change) {
        auto body = EncodeRequest(SgCall(1, Direction::In, 512));
        change(body);
        return body;
    };
    // Offsets in a SCSI request body: version 0, op 1, handle 2-5, direction 6, CDB length 7,
    // CDB 8...
    EXPECT_EQ(Refused({}), "request too short");
    EXPECT_EQ(Refused({kVersion}), "request too short");
    EXPECT_NE(Refused(with([](auto& b) { b[0] = 1; })), "");  // the previous format
    EXPECT_NE(Refused(with([](auto& b) { b[1] = 0; })), "");
    EXPECT_NE(Refused(with([](auto& b) { b[1] = 10; })), "");
    EXPECT_NE(Refused(with([](auto& b) { b[1] = 13; })), "");
    EXPECT_EQ(Refused(with([](auto& b) { b[6] = 3; })), "unknown transfer direction");
    EXPECT_EQ(Refused(with([](auto& b) { b.pop_back(); })), "request too short");
    EXPECT_EQ(Refused(with([](auto& b) { b.push_back(0); })), "request too long");

    for (const std::size_t cdb : {0u, 5u, 17u, 255u}) {
        Request request = SgCall(1, Direction::None, 0);
        request.scsi.cdb.assign(cdb, 0x12);
        EXPECT_EQ(Refused(EncodeRequest(request)), "CDB length out of range") << cdb;
    }
    for (const std::size_t cdb : {6u, 10u, 12u, 16u}) {
        Request request = SgCall(1, Direction::None, 0);
        request.scsi.cdb.assign(cdb, 0x12);
        EXPECT_EQ(Refused(EncodeRequest(request)), "") << cdb;
    }
    EXPECT_EQ(Refused(EncodeRequest(SgCall(1, Direction::In, kMaxTransfer))), "");
    EXPECT_EQ(Refused(EncodeRequest(SgCall(1, Direction::In, kMaxTransfer + 1))),
              "transfer too long");
    EXPECT_EQ(Refused(EncodeRequest(SgCall(1, Direction::None, 512))),
              "a transfer length without a direction");
    Request request = SgCall(1, Direction::Out, 512);
    request.scsi.data_out.resize(511);
    EXPECT_EQ(Refused(EncodeRequest(request)), "request too short");
    for (const std::uint32_t timeout : {0u, kMaxTimeoutMs + 1}) {
        request = SgCall(1, Direction::None, 0);
        request.scsi.timeout_ms = timeout;
        EXPECT_EQ(Refused(EncodeRequest(request)), "time-out out of range");
    }
    request = SgCall(1, Direction::None, 0);
    request.scsi.max_sense = kMaxSense + 1;
    EXPECT_EQ(Refused(EncodeRequest(request)), "sense buffer too long");

    // An ATA request: version 0, op 1, handle 2-5, direction 6, DMA 7, task file 8-15, then as
    // above. Its limits are the SCSI request's (one shared check), and DMA needs a data phase.
    auto ata = [](auto change) {
        auto body = EncodeRequest(AtaCallOf(1, Direction::In, 512));
        change(body);
        return Refused(body);
    };
    EXPECT_EQ(ata([](auto&) {}), "");
    EXPECT_EQ(ata([](auto& b) { b[6] = 3; }), "unknown transfer direction");
    EXPECT_EQ(ata([](auto& b) { b[7] = 1; }), "");
    EXPECT_EQ(ata([](auto& b) { b[7] = 2; }), "unknown protocol");
    EXPECT_EQ(ata([](auto& b) { b.resize(12); }), "request too short");
    EXPECT_EQ(ata([](auto& b) { b.push_back(0); }), "request too long");
    request = AtaCallOf(1, Direction::None, 0);
    request.ata.dma = true;
    EXPECT_EQ(Refused(EncodeRequest(request)), "DMA without a data phase");
    EXPECT_EQ(Refused(EncodeRequest(AtaCallOf(1, Direction::None, 512))),
              "a transfer length without a direction");
    EXPECT_EQ(Refused(EncodeRequest(AtaCallOf(1, Direction::Out, kMaxTransfer + 1))),
              "transfer too long");
    request = AtaCallOf(1, Direction::Out, 512);
    request.ata.data_out.resize(511);
    EXPECT_EQ(Refused(EncodeRequest(request)), "request too short");

    request = {};
    request.op = Op::Sleep;
    request.ms = kMaxSleepMs + 1;
    EXPECT_EQ(Refused(EncodeRequest(request)), "sleep too long");
    request.op = Op::Open;
    for (const std::string& path :
         {std::string(), std::string("/dev/sda\0x", 10), std::string("/dev/\nsda")}) {
        request.path = path;
        EXPECT_NE(Refused(EncodeRequest(request)), "") << path.size();
    }
    // The encoder cuts a path to the limit; a client that does not is refused.
    std::vector<std::uint8_t> body = {kVersion, static_cast<std::uint8_t>(Op::Open), 0, 1};
    body.resize(body.size() + 256, 'a');
    EXPECT_NE(Refused(body), "");
    body.resize(body.size() - 1);
    body[2] = 255, body[3] = 0;
    EXPECT_EQ(Refused(body), "");
}

class HelperServer : public ::testing::Test {
  protected:
    void SetUp() override {
        backend.disks = {{"ide:/dev/sda", "ide", "/dev/sda"}, {"usb:/dev/sdb", "usb", "/dev/sdb"}};
        backend.handler = [](const test::RecordedRequest& recorded, ScsiRequest& answer) {
            if (recorded.direction == Direction::In)
                std::fill(answer.data.begin(), answer.data.end(), 0xAB);
            test::SetFixedSense(answer, {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0});
            return 0;
        };
    }
    Answer Ask(const Request& request) {
        auto decoded = DecodeAnswer(server.Answer(EncodeRequest(request)));
        EXPECT_TRUE(std::holds_alternative<Answer>(decoded));
        return std::holds_alternative<Answer>(decoded) ? std::get<Answer>(decoded) : Answer{};
    }
    Answer OpenPath(const std::string& path) {
        Request request;
        request.op = Op::Open;
        request.path = path;
        return Ask(request);
    }

    test::FakeBackend backend;
    Server server{backend, false};
};

TEST_F(HelperServer, OpensOnlyWhatTheEnumerationListed) {
    for (const char* path : {"/etc/shadow", "ide:/dev/sdc", "/dev/sda1", "ide:/dev/../dev/sda",
                             "/dev/sg0", "scsi:/etc/passwd"}) {
        EXPECT_EQ(OpenPath(path).status, Status::NotListed) << path;
        Request request;
        request.op = Op::DeviceNumber;
        request.path = path;
        EXPECT_EQ(Ask(request).status, Status::NotListed) << path;
    }
    EXPECT_TRUE(backend.opened.empty());

    // A listed disk, by its path or its node, opens the enumeration's own path.
    for (const char* path : {"ide:/dev/sda", "/dev/sda", "usb:/dev/sdb"}) {
        const Answer opened = OpenPath(path);
        EXPECT_EQ(opened.status, Status::Ok);
        EXPECT_GT(opened.result, 0);
    }
    EXPECT_EQ(backend.opened,
              (std::vector<std::string>{"ide:/dev/sda", "ide:/dev/sda", "usb:/dev/sdb"}));
}

TEST_F(HelperServer, ScsiRequestsGoThroughWholeAndRefusalsNeverReachTheBackend) {
    const Answer opened = OpenPath("ide:/dev/sda");
    ASSERT_EQ(opened.status, Status::Ok);
    const auto handle = static_cast<std::uint32_t>(opened.result);

    Request call = SgCall(handle, Direction::Out, 1024);
    Answer answer = Ask(call);
    ASSERT_EQ(answer.status, Status::Ok);
    ASSERT_EQ(backend.requests.size(), 1u);
    EXPECT_EQ(backend.requests[0].cdb, call.scsi.cdb);
    EXPECT_EQ(backend.requests[0].data_out, call.scsi.data_out);
    EXPECT_EQ(backend.requests[0].timeout_ms, 10'000u);
    EXPECT_EQ(answer.call.outcome.scsi_status, 0x02);
    EXPECT_EQ(answer.call.sense.size(), 14u);
    EXPECT_TRUE(answer.call.data_in.empty());

    answer = Ask(SgCall(handle, Direction::In, kMaxTransfer));
    ASSERT_EQ(answer.status, Status::Ok);
    EXPECT_EQ(answer.call.data_in, std::vector<std::uint8_t>(kMaxTransfer, 0xAB));

    // Oversized, malformed and stray-handle requests get an answer, and the backend sees none.
    const std::size_t seen = backend.requests.size();
    const Answer refused = Ask(SgCall(handle, Direction::In, kMaxTransfer + 1));
    EXPECT_EQ(refused.status, Status::Malformed);
    EXPECT_EQ(refused.message, "transfer too long");
    EXPECT_EQ(Ask(SgCall(handle + 1, Direction::None, 0)).status, Status::BadHandle);
    EXPECT_EQ(Ask(SgCall(0, Direction::None, 0)).status, Status::BadHandle);
    EXPECT_EQ(backend.requests.size(), seen);

    Request close;
    close.op = Op::Close;
    close.handle = handle;
    EXPECT_EQ(Ask(close).status, Status::Ok);
    EXPECT_EQ(Ask(close).status, Status::BadHandle);
    EXPECT_EQ(Ask(SgCall(handle, Direction::None, 0)).status, Status::BadHandle);
    EXPECT_EQ(backend.open_handles, 0);
}

// The ATA request reaches the backend whole and its registers come back; a device that takes no
// pass-through comes back as refused, not as an ATA error.
TEST_F(HelperServer, AtaRequestsGoThroughWholeWithTheirRegisters) {
    const Answer opened = OpenPath("ide:/dev/sda");
    ASSERT_EQ(opened.status, Status::Ok);
    const auto handle = static_cast<std::uint32_t>(opened.result);

    Answer answer = Ask(AtaCallOf(handle, Direction::In, 512));
    ASSERT_EQ(answer.status, Status::Ok);
    ASSERT_EQ(backend.requests.size(), 1u);
    EXPECT_TRUE(backend.requests[0].ata);
    EXPECT_EQ(backend.requests[0].task_file, (TaskFile{0, 1, 0, 0, 0, 0xA0, 0xEC, 0}));
    EXPECT_EQ(answer.call.data_in, std::vector<std::uint8_t>(512, 0xAB));
    EXPECT_TRUE(answer.call.refused);
    EXPECT_FALSE(answer.call.registers_returned);

    backend.handler = [](const test::RecordedRequest&, ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0x04, 0x51);
        return 0;
    };
    Request write = AtaCallOf(handle, Direction::Out, 1024);
    write.ata.dma = true;
    answer = Ask(write);
    ASSERT_EQ(answer.status, Status::Ok);
    EXPECT_EQ(backend.requests.back().data_out, write.ata.data_out);
    EXPECT_EQ(backend.requests.back().cdb[1], 0x0C);  // DMA data-out
    EXPECT_TRUE(answer.call.registers_returned);
    EXPECT_FALSE(answer.call.refused);
    EXPECT_EQ(answer.call.registers[0], 0x04);
    EXPECT_EQ(answer.call.registers[6], 0x51);

    const std::size_t seen = backend.requests.size();
    EXPECT_EQ(Ask(AtaCallOf(handle, Direction::In, kMaxTransfer + 1)).status, Status::Malformed);
    EXPECT_EQ(Ask(AtaCallOf(handle + 1, Direction::None, 0)).status, Status::BadHandle);
    EXPECT_EQ(backend.requests.size(), seen);
}

TEST_F(HelperServer, OpenHandlesAreBoundedAndClosedWhenTheClientGoes) {
    {
        Server bounded(backend, false);
        Request open;
        open.op = Op::Open;
        open.path = "/dev/sda";
        for (std::size_t i = 0; i < Server::kMaxOpen; ++i) {
            auto decoded = DecodeAnswer(bounded.Answer(EncodeRequest(open)));
            EXPECT_GT(std::get<Answer>(decoded).result, 0);
        }
        auto decoded = DecodeAnswer(bounded.Answer(EncodeRequest(open)));
        EXPECT_EQ(std::get<Answer>(decoded).result, -EMFILE);
        EXPECT_EQ(backend.open_handles, static_cast<int>(Server::kMaxOpen));
    }
    EXPECT_EQ(backend.open_handles, 0);
}

TEST_F(HelperServer, AnOversizedFrameIsAnsweredAndEndsTheSession) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    int served = -1;
    std::thread helper([&] { served = server.Serve(ends[1], ends[1]); });

    // A good request first, then a length no frame may have.
    ASSERT_TRUE(WriteFrame(ends[0], EncodeRequest(Request{})));
    std::vector<std::uint8_t> body;
    ASSERT_EQ(ReadFrame(ends[0], kMaxFrame, body), ReadResult::Frame);
    EXPECT_EQ(std::get<Answer>(DecodeAnswer(body)).status, Status::Ok);
    const std::uint32_t huge = kMaxFrame + 1;
    const std::uint8_t head[4] = {static_cast<std::uint8_t>(huge),
                                  static_cast<std::uint8_t>(huge >> 8),
                                  static_cast<std::uint8_t>(huge >> 16), 0};
    ASSERT_EQ(::write(ends[0], head, sizeof head), 4);
    ASSERT_EQ(ReadFrame(ends[0], kMaxFrame, body), ReadResult::Frame);
    EXPECT_EQ(std::get<Answer>(DecodeAnswer(body)).status, Status::Malformed);
    helper.join();
    EXPECT_EQ(served, 1);
    EXPECT_TRUE(backend.requests.empty());
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST_F(HelperServer, DriveLocksGoOnlyToListedDisksAndEndWithTheClient) {
    Request lock;
    lock.op = Op::LockDevice;
    lock.ms = 3000;
    {
        Server client(backend, false);
        const auto ask = [&client](const Request& request) {
            return std::get<Answer>(DecodeAnswer(client.Answer(EncodeRequest(request))));
        };
        lock.path = "/etc/shadow";
        EXPECT_EQ(ask(lock).status, Status::NotListed);
        EXPECT_EQ(backend.held_locks, 0);

        lock.path = "/dev/sda";
        const Answer held = ask(lock);
        ASSERT_EQ(held.status, Status::Ok);
        EXPECT_GE(held.result, 0);
        EXPECT_EQ(backend.held_locks, 1);
        Request unlock;
        unlock.op = Op::UnlockDevice;
        unlock.handle = static_cast<std::uint32_t>(held.result);
        EXPECT_EQ(ask(unlock).status, Status::Ok);
        EXPECT_EQ(ask(unlock).status, Status::BadHandle);
        EXPECT_EQ(backend.held_locks, 0);

        // A lock the client still holds when it goes is given back.
        ASSERT_EQ(ask(lock).status, Status::Ok);
        EXPECT_EQ(backend.held_locks, 1);
    }
    EXPECT_EQ(backend.held_locks, 0);

    // A wait beyond the bound never reaches the backend.
    lock.ms = kMaxLockWaitMs + 1;
    auto body = EncodeRequest(lock);
    EXPECT_EQ(Refused(body), "lock wait too long");
}

}  // namespace
}  // namespace vt::platform::helper
