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

    // A 48-bit ATA request keeps its high-order registers.
    Request ata = AtaCallOf(7, Direction::In, 512);
    ata.ata.extended = true;
    ata.ata.dma = true;
    ata.ata.previous = {0, 0x01, 0x12, 0x34, 0x56};
    decoded = DecodeRequest(EncodeRequest(ata));
    ASSERT_TRUE(std::holds_alternative<Request>(decoded));
    const auto& got_ata = std::get<Request>(decoded).ata;
    EXPECT_TRUE(got_ata.extended && got_ata.dma);
    EXPECT_EQ(got_ata.previous, ata.ata.previous);
    EXPECT_EQ(got_ata.task_file, ata.ata.task_file);

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
    EXPECT_EQ(ata([](auto& b) { b[7] = 3; }), "");
    EXPECT_EQ(ata([](auto& b) { b[7] = 4; }), "unknown protocol");
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

// The tool's commands pass; anything else never reaches the disk. A user-data write goes only to
// a disk the client holds for writing, a carrier write only to a disk that took the vendor unlock.
TEST_F(HelperServer, PassesOnlyTheToolsCommandsAndWritesOnlyToAHeldDisk) {
    const auto sda = static_cast<std::uint32_t>(OpenPath("ide:/dev/sda").result);
    const auto sdb = static_cast<std::uint32_t>(OpenPath("usb:/dev/sdb").result);
    // 0: reached the disk; else the errno value it was refused with.
    const auto send = [&](std::uint32_t handle, const std::vector<std::uint8_t>& cdb) {
        Request call = SgCall(handle, Direction::Out, 512);
        call.scsi.cdb = cdb;
        const std::size_t before = backend.requests.size();
        const Answer answer = Ask(call);
        EXPECT_EQ(answer.status, Status::Ok);
        EXPECT_EQ(backend.requests.size(), before + (answer.call.error == 0 ? 1 : 0));
        return answer.call.error;
    };
    // The same rule for a task file sent as an ATA request (a 48-bit one when `extended`).
    const auto send_ata = [&](std::uint32_t handle, std::uint8_t command, std::uint8_t mid,
                              std::uint8_t high, bool extended) {
        Request call = AtaCallOf(handle, Direction::Out, 512);
        call.ata.task_file = {0, 1, 0, mid, high, 0x40, command, 0};
        call.ata.extended = extended;
        const Answer answer = Ask(call);
        EXPECT_EQ(answer.status, Status::Ok);
        return answer.call.error;
    };
    // ATA PASS-THROUGH(16): FEATURES, LBA LOW, MID, HIGH, COMMAND; (12) likewise.
    const auto ata16 = [](std::uint8_t command, std::uint8_t features = 0, std::uint8_t low = 0,
                          std::uint8_t mid = 0, std::uint8_t high = 0) {
        return std::vector<std::uint8_t>{0x85, 0x0C, 0x2E, 0, features, 0, 1,       0,
                                         low,  0,    mid,  0, high,     0, command, 0};
    };
    const auto ata12 = [](std::uint8_t command, std::uint8_t mid = 0, std::uint8_t high = 0) {
        return std::vector<std::uint8_t>{0xA1, 0x0C, 0x0E, 0,       1, 0xFF,
                                         mid,  high, 0xE0, command, 0, 0};
    };
    for (const auto& passed :
         {ata16(0xEC), ata16(0xB0, 0xD0, 0, 0x4F, 0xC2), ata12(0xC8), ata16(0x25), ata16(0xE7),
          ata12(0xC4, 0x34, 0x12), std::vector<std::uint8_t>{0x12, 0, 0, 0, 0x28, 0},
          std::vector<std::uint8_t>{0x88, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0},
          std::vector<std::uint8_t>{0xFF, 0x04, 0x86, 3, 0, 0, 0, 0, 0, 0, 0, 0}}) {
        EXPECT_EQ(send(sda, passed), 0) << std::hex << int{passed[0]};
    }
    for (const auto& refused :
         {ata16(0x30), ata16(0xF4), ata16(0x92), ata16(0xEF, 0x02),
          ata16(0xB0, 0xD6, 0, 0x4F, 0xC2), ata12(0xC5), ata12(0x88, 0x34, 0x13),
          std::vector<std::uint8_t>{0x04, 0, 0, 0, 0, 0},
          std::vector<std::uint8_t>{0x41, 0, 0, 0, 0, 0, 0, 0, 1, 0},
          std::vector<std::uint8_t>{0xFF, 0xE5, 0x87, 3, 0, 0, 0, 0, 0, 0, 0, 0}}) {
        EXPECT_EQ(send(sda, refused), EOPNOTSUPP) << std::hex << int{refused[0]};
    }

    const std::vector<std::vector<std::uint8_t>> writes = {
        ata12(0xCA),
        ata16(0x35),
        {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0},
        {0x8A, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}};
    for (const auto& write : writes) EXPECT_EQ(send(sda, write), EBUSY);
    EXPECT_EQ(send_ata(sda, 0x35, 0, 0, true), EBUSY);
    EXPECT_EQ(send_ata(sda, 0xEC, 0, 0, false), 0);
    EXPECT_EQ(send_ata(sda, 0x30, 0, 0, false), EOPNOTSUPP);
    EXPECT_EQ(send_ata(sda, 0xC5, 0x34, 0x12, true), EOPNOTSUPP);  // carrier opcodes are 28-bit
    Request hold;
    hold.op = Op::HoldForWriting;
    hold.path = "ide:/dev/sda";
    const Answer held = Ask(hold);
    ASSERT_EQ(held.status, Status::Ok);
    ASSERT_GE(held.result, 0);
    for (const auto& write : writes) EXPECT_EQ(send(sda, write), 0);
    EXPECT_EQ(send_ata(sda, 0x35, 0, 0, true), 0);
    EXPECT_EQ(send(sdb, writes[0]), EBUSY);  // the hold is for its disk only
    Request release;
    release.op = Op::ReleaseHold;
    release.handle = static_cast<std::uint32_t>(held.result);
    EXPECT_EQ(Ask(release).status, Status::Ok);
    EXPECT_EQ(send(sda, writes[0]), EBUSY);

    // A refused unlock (the handler's ILLEGAL REQUEST) makes no vendor drive; an accepted one does.
    const auto carrier_write = ata12(0xC5, 0x34, 0x12);
    EXPECT_EQ(send(sdb, carrier_write), EBUSY);
    EXPECT_EQ(send(sdb, ata16(0xEF, 0xDC)), 0);
    EXPECT_EQ(send(sdb, carrier_write), EBUSY);
    EXPECT_EQ(send_ata(sdb, 0xC5, 0x34, 0x12, false), EBUSY);
    backend.handler = [](const test::RecordedRequest&, platform::ScsiRequest& answer) {
        answer.outcome.scsi_status = platform::kScsiGood;
        return 0;
    };
    EXPECT_EQ(send(sdb, ata16(0xEF, 0xDC)), 0);
    EXPECT_EQ(send(sdb, carrier_write), 0);
    EXPECT_EQ(send_ata(sdb, 0xC5, 0x34, 0x12, false), 0);
    EXPECT_EQ(send(sda, carrier_write), EBUSY);
}

TEST_F(HelperServer, AHoldIsRefusedOnADiskInUseAndEndsWithTheClient) {
    Request describe;
    describe.op = Op::DescribeUse;
    describe.path = "/dev/sda";
    Request hold;
    hold.op = Op::HoldForWriting;
    hold.path = "/dev/sda";
    {
        Server client(backend, false);
        const auto ask = [&client](const Request& request) {
            return std::get<Answer>(DecodeAnswer(client.Answer(EncodeRequest(request))));
        };
        ASSERT_EQ(ask(hold).status, Status::Ok);
        EXPECT_EQ(backend.held_for_writing, 1);
        hold.path = "/dev/sdc";
        EXPECT_EQ(ask(hold).status, Status::NotListed);
    }
    EXPECT_EQ(backend.held_for_writing, 0);

    using Kind = DiskUser::Kind;
    backend.use.partitions = {"/dev/sda1", "/dev/sda2"};
    backend.use.users = {{Kind::Mount, "/dev/sda1", "/media/" + std::string(2000, 'x')},
                         {Kind::Swap, "/dev/sda2", ""}};
    hold.path = "/dev/sda";
    EXPECT_EQ(Ask(hold).result, -EBUSY);
    const Answer described = Ask(describe);
    ASSERT_EQ(described.status, Status::Ok);
    EXPECT_EQ(described.use.partitions, backend.use.partitions);
    ASSERT_EQ(described.use.users.size(), 2u);
    // A mount point longer than the wire carries arrives cut, still naming the place.
    EXPECT_EQ(described.use.users[0].what.size(), kMaxMountPoint);
    EXPECT_EQ(described.use.users[1], backend.use.users[1]);
}

}  // namespace
}  // namespace vt::platform::helper
