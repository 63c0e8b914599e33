// Requests byte for byte, the acceptance test, and the reply queue.
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/bytes.h"
#include "protocol/datagram.h"
#include "protocol/reply_queue.h"
#include "protocol/requests.h"
#include "protocol/scramble.h"
#include "registry/station_list.h"
#include "support/world_fixture.h"

namespace {

Bytes Hex(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class RequestTest : public WorldTest {
   protected:
    void SetUp() override {
        WorldTest::SetUp();
        OpenTestEndpoint();
        station = AppendStation();
        station->stationId = {0x00, 0x80, 0x92, 0xAA, 0xBB, 0xCC};
        station->ipAddress = (10u << 24) | 1;  // 10.0.0.1
        station->seed = 0x01020304;
        std::strcpy(station->identity, "KVZ-3170 2.02");
        station->modelCode = 52;
        std::strcpy(station->password, "pass");
    }
    const SentDatagram& Only() {
        EXPECT_EQ(World().sent.size(), 1u);
        return World().sent.back();
    }
    Bytes Local() const { return Bytes(localId.begin(), localId.end()); }
    Bytes Remote() const { return Bytes(station->stationId.begin(), station->stationId.end()); }
    Bytes Scrambled() const {
        std::uint8_t out[8];
        ScrambleSecretFor(out);
        return Bytes(out, out + 8);
    }
    void ScrambleSecretFor(std::uint8_t* out) const;
    StationRecord* station = nullptr;
};

}  // namespace

void RequestTest::ScrambleSecretFor(std::uint8_t* out) const { ScrambleSecret(out, station->password, station->seed); }

TEST_F(RequestTest, FindToEveryStationIsTheHeaderAlone) {
    SendRequest(DatagramSocket, CMD_FIND, nullptr);
    const auto& d = Only();
    EXPECT_EQ(d.bytes, Concat({Hex({0x20, 0, 0, 0, 0x03, 0, 0x01, 0, 0x7F, 0x80, 0, 0, 0, 0, 0, 0}), Local(),
                               Hex({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), Hex({0, 0, 0, 0})}));
    EXPECT_EQ(d.ipAddress, 0xFFFFFFFFu);
    EXPECT_EQ(d.port, 22359);
}

TEST_F(RequestTest, FindForOneStationNamesItButStillBroadcasts) {
    SendRequest(DatagramSocket, CMD_FIND, station);
    const auto& d = Only();
    EXPECT_EQ(Bytes(d.bytes.begin() + 22, d.bytes.begin() + 28), Remote());
    EXPECT_EQ(d.ipAddress, 0xFFFFFFFFu);
}

TEST_F(RequestTest, TransferResultGoesToTheStationsAddress) {
    SendRequest(DatagramSocket, CMD_TRANSFER_RESULT, station);
    const auto& d = Only();
    EXPECT_EQ(d.bytes, Concat({Hex({0x20, 0, 0, 0, 0x03, 0, 0x01, 0, 0x7A, 0x85, 0, 0, 0, 0, 0, 0}), Local(),
                               Remote(), Hex({0, 0, 0, 0})}));
    EXPECT_EQ(d.ipAddress, (10u << 24) | 1);
    EXPECT_EQ(d.port, 22359);
}

TEST_F(RequestTest, UpdateRequestCarriesImageSizeAndScrambledPassword) {
    SendRequest(DatagramSocket, CMD_UPDATE_REQUEST, station);
    const auto& d = Only();
    ASSERT_EQ(d.bytes.size(), 44u);
    EXPECT_EQ(Bytes(d.bytes.begin() + 8, d.bytes.begin() + 12), Hex({0x7B, 0x84, 0x0C, 0x00}));
    EXPECT_EQ(Bytes(d.bytes.begin() + 32, d.bytes.begin() + 36), Hex({0xF8, 0x81, 0x0D, 0x00}));
    EXPECT_EQ(Bytes(d.bytes.begin() + 36, d.bytes.end()), Scrambled());
    EXPECT_EQ(d.ipAddress, (10u << 24) | 1);
}

TEST_F(RequestTest, ExtendedUpdateRequestCarriesTheCatalogueWordsOnEverySending) {
    SendRequest(DatagramSocket, CMD_UPDATE_REQUEST_EX, station);
    SendRequest(DatagramSocket, CMD_UPDATE_REQUEST_EX, station);
    ASSERT_EQ(World().sent.size(), 2u);
    const Bytes& d = World().sent[0].bytes;
    ASSERT_EQ(d.size(), 56u);
    EXPECT_EQ(Bytes(d.begin() + 8, d.begin() + 12), Hex({0x78, 0x87, 0x18, 0x00}));
    EXPECT_EQ(Bytes(d.begin() + 32, d.begin() + 48),
              Hex({0xF8, 0x81, 0x0D, 0x00, 0, 0, 0, 0, 0x05, 0, 0, 0, 0x03, 0x02, 0, 0}));
    EXPECT_EQ(Bytes(d.begin() + 48, d.end()), Scrambled());
    EXPECT_EQ(World().sent[1].bytes, d);
}

TEST_F(RequestTest, ModuleInfoBroadcastsWithTheSelector) {
    station->moduleSelector = 1;
    SendRequest(DatagramSocket, CMD_MODULE_INFO, station);
    const auto& d = Only();
    ASSERT_EQ(d.bytes.size(), 36u);
    EXPECT_EQ(Bytes(d.bytes.begin() + 8, d.bytes.begin() + 12), Hex({0x79, 0x86, 0x04, 0x00}));
    EXPECT_EQ(Bytes(d.bytes.begin() + 32, d.bytes.end()), Hex({1, 0, 0, 0}));
    EXPECT_EQ(Bytes(d.bytes.begin() + 22, d.bytes.begin() + 28), Remote());
    EXPECT_EQ(d.ipAddress, 0xFFFFFFFFu);
}

TEST_F(RequestTest, ReservedHeaderBytesAreZeroInEveryRequest) {
    for (CommandWord c : {CMD_FIND, CMD_UPDATE_REQUEST, CMD_TRANSFER_RESULT, CMD_MODULE_INFO, CMD_UPDATE_REQUEST_EX})
        SendRequest(DatagramSocket, c, station);
    ASSERT_EQ(World().sent.size(), 5u);
    for (const auto& d : World().sent) {
        for (int i : {2, 3, 12, 13, 14, 15, 28, 29, 30, 31}) EXPECT_EQ(d.bytes[static_cast<std::size_t>(i)], 0) << i;
    }
}

TEST_F(RequestTest, NothingIsSentForAWordOutsideTheTableOrAStationNoRowFits) {
    SendRequest(DatagramSocket, 0xC03F, station);
    SendRequest(DatagramSocket, CMD_UPDATE_REQUEST, nullptr);
    std::strcpy(station->identity, "OTHER 1.0");
    SendRequest(DatagramSocket, CMD_UPDATE_REQUEST_EX, station);
    EXPECT_TRUE(World().sent.empty());
}

// --- Acceptance

namespace {

struct AcceptanceCase {
    const char* name;
    int length;
    std::uint16_t headerLength;
    std::uint16_t payloadLength;
    std::uint32_t version;
    std::uint16_t command;
    int destination;  // 0 local, 1 broadcast, 2 local with last byte changed, 3 FF..FE
    int accepted;
};

Bytes Candidate(const AcceptanceCase& c, const StationId& local) {
    Bytes d(static_cast<std::size_t>(c.length), 0);
    Bytes header(32, 0);
    WriteU16(&header[0], c.headerLength);
    WriteU32(&header[4], c.version);
    WriteU16(&header[8], c.command);
    WriteU16(&header[10], c.payloadLength);
    StationId dest = local;
    if (c.destination == 1) dest = BROADCAST_STATION_ID;
    if (c.destination == 2) dest[5] ^= 1;
    if (c.destination == 3) dest = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE};
    std::copy(dest.begin(), dest.end(), header.begin() + 22);
    std::copy(header.begin(), header.begin() + std::min<int>(32, c.length), d.begin());
    return d;
}

const AcceptanceCase acceptanceCases[] = {
    {"29 bytes even with matching lengths", 29, 29, 0, 0x10000, 0xC03F, 1, 0},
    {"30 bytes, header length 30", 30, 30, 0, 0x10000, 0xC03F, 1, 1},
    {"version 0x0000FFFF", 32, 32, 0, 0x0000FFFF, 0xC03F, 0, 0},
    {"version 0x80000000 (unsigned)", 32, 32, 0, 0x80000000, 0xC03F, 0, 1},
    {"length sum not truncated", 32, 0xFFF0, 0x0030, 0x10003, 0xC03F, 0, 0},
    {"40 bytes, 32 + 8", 40, 32, 8, 0x10003, 0xC03F, 0, 1},
    {"40 bytes, 32 + 9", 40, 32, 9, 0x10003, 0xC03F, 0, 0},
    {"destination local", 32, 32, 0, 0x10003, 0xC43B, 0, 1},
    {"destination differs in last byte", 32, 32, 0, 0x10003, 0xC43B, 2, 0},
    {"destination FF..FE", 32, 32, 0, 0x10003, 0xC43B, 3, 0},
    {"a request word (own find)", 32, 32, 0, 0x10003, 0x807F, 1, 0},
    {"reply bit but wrong complement", 32, 32, 0, 0x10003, 0xC03E, 1, 0},
    {"unknown reply word with right complement", 32, 32, 0, 0x10003, 0xD02F, 1, 1},
    {"1501 bytes", 1501, 32, 1469, 0x10003, 0xC03F, 1, 0},
    {"1500 bytes", 1500, 32, 1468, 0x10003, 0xC03F, 1, 1},
};

}  // namespace

TEST_F(RequestTest, AcceptanceTable) {
    for (const auto& c : acceptanceCases) {
        const Bytes d = Candidate(c, localId);
        EXPECT_EQ(AcceptDatagram(d.data(), static_cast<int>(d.size())), c.accepted) << c.name;
        DeliverDatagram(d);
        EXPECT_EQ(ReceiveReply(DatagramSocket), c.accepted) << c.name;
    }
    // Exactly the accepted ones were queued, in order, byte for byte.
    std::uint8_t buffer[MAX_DATAGRAM];
    int position = 0;
    for (const auto& c : acceptanceCases) {
        if (!c.accepted) continue;
        const Bytes d = Candidate(c, localId);
        ASSERT_EQ(CopyReply(position++, buffer, MAX_DATAGRAM), 1) << c.name;
        EXPECT_EQ(Bytes(buffer, buffer + d.size()), d) << c.name;
    }
    EXPECT_EQ(CopyReply(position, buffer, MAX_DATAGRAM), 0);
}

TEST_F(RequestTest, ShortDatagramReadsItsMissingResultBytesAsZero) {
    Bytes d = Candidate({"", 30, 30, 0, 0x10000, 0xC53A, 1, 1}, localId);
    const DatagramHeader h = ReadHeader(d.data(), 30);
    EXPECT_EQ(h.resultCode, 0);
    d[28] = 0xFF;
    d[29] = 0xFF;
    EXPECT_EQ(ReadHeader(d.data(), 30).resultCode, 0xFFFF);
}

// --- Reply queue

class ReplyQueueTest : public WorldTest {
   protected:
    void SetUp() override {
        WorldTest::SetUp();
        OpenTestEndpoint();
    }
    Bytes Queue(std::uint8_t tag, int payload = 4) {
        Bytes d = ReplyDatagram(REPLY_FIND, MakeStationId(tag), BROADCAST_STATION_ID,
                                Bytes(static_cast<std::size_t>(payload), tag));
        d[12] = tag;  // a reserved byte the acceptance test does not look at
        DeliverDatagram(d);
        EXPECT_EQ(ReceiveReply(DatagramSocket), 1);
        return d;
    }
    Bytes At(int position) {
        std::uint8_t buffer[MAX_DATAGRAM];
        if (!CopyReply(position, buffer, MAX_DATAGRAM)) return {};
        return Bytes(buffer, buffer + ReadU16(buffer) + ReadU16(buffer + 10));
    }
};

TEST_F(ReplyQueueTest, EmptyQueue) {
    std::uint8_t buffer[MAX_DATAGRAM];
    EXPECT_EQ(CopyReply(0, buffer, MAX_DATAGRAM), 0);
    EXPECT_EQ(RemoveReply(0), 0);
    ClearReplies();
    EXPECT_EQ(CopyReply(0, buffer, MAX_DATAGRAM), 0);
}

TEST_F(ReplyQueueTest, PositionsMoveUpAfterRemoval) {
    const Bytes d1 = Queue(1), d2 = Queue(2), d3 = Queue(3);
    EXPECT_EQ(At(0), d1);
    EXPECT_EQ(At(1), d2);
    EXPECT_EQ(At(2), d3);
    EXPECT_EQ(RemoveReply(1), 1);
    EXPECT_EQ(At(1), d3);
    EXPECT_TRUE(At(2).empty());
    EXPECT_EQ(RemoveReply(0), 1);
    EXPECT_EQ(At(0), d3);
    EXPECT_EQ(RemoveReply(1), 0);
}

TEST_F(ReplyQueueTest, CapacityIsInclusive) {
    const Bytes d = Queue(7, 68);  // 100 bytes
    std::uint8_t buffer[100];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(CopyReply(0, buffer, 99), 0);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(CopyReply(0, buffer, 100), 1);
    EXPECT_EQ(Bytes(buffer, buffer + 100), d);
}

TEST_F(ReplyQueueTest, RejectedDatagramLeavesTheQueueAlone) {
    Bytes bad = ReplyDatagram(CMD_FIND, MakeStationId(9), BROADCAST_STATION_ID, {});
    DeliverDatagram(bad);
    EXPECT_EQ(ReceiveReply(DatagramSocket), 0);
    EXPECT_TRUE(At(0).empty());
}

TEST_F(ReplyQueueTest, FloodBeyondTheCapIsDroppedNotQueued) {
    const Bytes d = ReplyDatagram(REPLY_FIND, MakeStationId(1), BROADCAST_STATION_ID, {});
    for (int i = 0; i < MAX_QUEUED_REPLIES; ++i) {
        DeliverDatagram(d);
        ASSERT_EQ(ReceiveReply(DatagramSocket), 1);
    }
    DeliverDatagram(d);
    EXPECT_EQ(ReceiveReply(DatagramSocket), 0);
    EXPECT_FALSE(At(MAX_QUEUED_REPLIES - 1).empty());
    EXPECT_TRUE(At(MAX_QUEUED_REPLIES).empty());
    ClearReplies();
    EXPECT_TRUE(At(0).empty());
}
