// Station list, discovery reply decoding, catalogue matching and the listing.
#include <gtest/gtest.h>

#include <cstring>

#include "registry/catalogue.h"
#include "protocol/bytes.h"
#include "registry/discovery.h"
#include "registry/station_list.h"
#include "support/world_fixture.h"

namespace {

class RegistryTest : public WorldTest {
   protected:
    StationRecord* Decode(const DiscoveryReply& reply, std::uint8_t idByte = 0x11) {
        const Bytes d = reply.Datagram(MakeStationId(idByte), BROADCAST_STATION_ID);
        return DecodeDiscoveryReply(d.data(), static_cast<int>(d.size()));
    }
    std::vector<StationRecord*> Stations() {
        std::vector<StationRecord*> out;
        for (StationRecord* s = FirstStation(); s; s = s->next) out.push_back(s);
        return out;
    }
};

}  // namespace

TEST_F(RegistryTest, ListKeepsFirstReplyOrderAndRemovesAnywhere) {
    EXPECT_EQ(FirstStation(), nullptr);
    EXPECT_EQ(FindStation(MakeStationId(1)), nullptr);
    StationRecord* a = Decode({}, 1);
    StationRecord* b = Decode({}, 2);
    StationRecord* c = Decode({}, 3);
    StationRecord* d = Decode({}, 4);
    EXPECT_EQ(Decode({}, 2), b);  // answers again: same record, same place
    EXPECT_EQ(Stations(), (std::vector<StationRecord*>{a, b, c, d}));
    EXPECT_EQ(FindStation(MakeStationId(3)), c);

    EXPECT_EQ(RemoveStation(a), 1);  // head
    EXPECT_EQ(Stations(), (std::vector<StationRecord*>{b, c, d}));
    EXPECT_EQ(RemoveStation(c), 1);  // middle
    EXPECT_EQ(Stations(), (std::vector<StationRecord*>{b, d}));
    EXPECT_EQ(RemoveStation(d), 1);  // tail
    EXPECT_EQ(b->next, nullptr);
    StationRecord stranger{};
    EXPECT_EQ(RemoveStation(&stranger), 0);
    EXPECT_EQ(RemoveAllStations(), 1);
    EXPECT_EQ(FirstStation(), nullptr);
    EXPECT_EQ(RemoveAllStations(), 1);
}

TEST_F(RegistryTest, RefreshKeepsWhatTheUserAndTheQueriesStored) {
    StationRecord* s = Decode({});
    std::strcpy(s->password, "pw");
    s->listIndex = 3;
    std::strcpy(s->moduleText, "ISDN 1.0");
    s->moduleSelector = 1;
    DiscoveryReply later;
    later.seed = 99;
    later.ipAddress = 0xC0000263;
    ASSERT_EQ(Decode(later), s);
    EXPECT_EQ(s->seed, 99u);
    EXPECT_EQ(s->ipAddress, 0xC0000263u);
    EXPECT_STREQ(s->password, "pw");
    EXPECT_EQ(s->listIndex, 3);
    EXPECT_STREQ(s->moduleText, "ISDN 1.0");
    EXPECT_EQ(s->moduleSelector, 1u);
}

namespace {

struct VersionCase {
    std::uint32_t version;
    const char* tail;
    const char* identity;
    std::uint32_t flags;
    std::uint16_t modelCode;
};

}  // namespace

TEST_F(RegistryTest, DecodingByReplyVersion) {
    const std::uint16_t allBits = 0x0F00;
    const VersionCase cases[] = {
        {0x10000, "IGNORED TAIL IDENTITY", "KVZ-3170 2.02", 0, 0},
        {0x10001, "", "KVZ-3170 2.02", 0, 0},
        {0x10001, "KVZ-3170 2.02 build 4711 long", "KVZ-3170 2.02 build 4711 long", 0, 0},
        {0x10002, "", "KVZ-3170 2.02", SF_UPDATABLE | SF_UPDATING, 52},
        {0x10003, "", "KVZ-3170 2.02", SF_UPDATABLE | SF_UPDATING | SF_EXTENDED_REQUEST | SF_HAS_MODULE, 52},
        {0x20000, "", "KVZ-3170 2.02", SF_UPDATABLE | SF_UPDATING | SF_EXTENDED_REQUEST | SF_HAS_MODULE, 52},
    };
    for (const auto& c : cases) {
        RemoveAllStations();
        DiscoveryReply reply;
        reply.version = c.version;
        reply.status = allBits;
        reply.tailIdentity = c.tail;
        StationRecord* s = Decode(reply);
        ASSERT_NE(s, nullptr);
        EXPECT_STREQ(s->identity, c.identity) << std::hex << c.version;
        EXPECT_EQ(s->flags, c.flags) << std::hex << c.version;
        EXPECT_EQ(s->modelCode, c.modelCode) << std::hex << c.version;
        EXPECT_EQ(s->seed, 0x12345678u);
        EXPECT_EQ(s->netmask, 0xFFFFFF00u);
        EXPECT_EQ(s->stationId, MakeStationId(0x11));
    }
}

TEST_F(RegistryTest, OlderLaterReplyDropsWhatItDoesNotCarry) {
    DiscoveryReply reply;
    reply.status = 0x0F00;
    StationRecord* s = Decode(reply);
    EXPECT_EQ(s->modelCode, 52);
    reply.version = 0x10001;
    Decode(reply);
    EXPECT_EQ(s->flags, 0u);
    EXPECT_EQ(s->modelCode, 0);
}

TEST_F(RegistryTest, FullWidthTextFieldsAreKeptWholeAndTerminated) {
    DiscoveryReply reply;
    reply.productName = std::string(32, 'P');
    reply.shortIdentity = std::string(16, 'I');
    StationRecord* s = Decode(reply);
    EXPECT_EQ(std::string(s->productName), std::string(32, 'P'));
    EXPECT_EQ(std::string(s->identity), std::string(16, 'I'));
}

TEST_F(RegistryTest, MalformedRepliesNeverReadBeyondTheDatagram) {
    struct Case {
        const char* name;
        int fixedLength;
        int backOffset;
        std::string tail;
        bool terminated;
        std::string identity;
    };
    const Case cases[] = {
        {"payload ends inside the short identity", 84, 0, "", true, "KVZ-"},
        {"back-offset beyond the payload", 140, 500, "", true, "KVZ-3170 2.02"},
        {"tail without terminator", 140, 5, "ABCDE", false, "ABCDE"},
        {"tail of 300 bytes is cut to 255", 140, -1, std::string(300, 'T'), true, std::string(255, 'T')},
    };
    for (const auto& c : cases) {
        RemoveAllStations();
        DiscoveryReply reply;
        reply.version = 0x10003;
        reply.fixedLength = c.fixedLength;
        reply.tailIdentity = c.tail;
        reply.backOffset = c.backOffset;
        Bytes d = reply.Datagram(MakeStationId(1), BROADCAST_STATION_ID);
        if (!c.terminated) d.pop_back();
        WriteU16(&d[10], static_cast<std::uint16_t>(d.size() - 32));
        // The exact size in its own allocation lets the sanitizer catch any overread.
        std::vector<std::uint8_t> exact(d.begin(), d.end());
        StationRecord* s = DecodeDiscoveryReply(exact.data(), static_cast<int>(exact.size()));
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_EQ(std::string(s->identity), c.identity) << c.name;
    }
}

TEST_F(RegistryTest, OtherRepliesAreNotDecoded) {
    const Bytes d = ReplyDatagram(REPLY_MODULE_INFO, MakeStationId(1), BROADCAST_STATION_ID, Bytes(140, 0));
    EXPECT_EQ(DecodeDiscoveryReply(d.data(), static_cast<int>(d.size())), nullptr);
    EXPECT_EQ(FirstStation(), nullptr);
}

// --- Catalogue

TEST(Catalogue, MatchingTheBuiltInRow) {
    const struct {
        const char* identity;
        std::uint16_t model;
        int index;
    } cases[] = {
        {"KVZ-3170 2.03", 52, 0}, {"KVZ-3170 1.00", 52, 0}, {"KVZ-3170 ", 52, 0},   {"KVZ-3170", 52, -1},
        {"KVZ-3170 2.03", 53, -1}, {"KVZ-3170 2.03", 0, -1}, {"kvz-3170 2.03", 52, -1}, {"", 52, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchCatalogue(c.identity, c.model), c.index) << c.identity << " " << c.model;
}

namespace {

const CatalogueEntry testCatalogue[] = {
    {"EXACT 1.0$", 7, "EXACT 1.1", "1.1", 5, 0x0101, 0},
    {"ANY ", 0, "ANY 2", "2", 0x10001, 0x0200, 9},
    {"MODEM ", 0, "MODEM 3", "3", 0x20000, 0x0300, 0},
};

class TestCatalogueTest : public RegistryTest {
   protected:
    void SetUp() override {
        RegistryTest::SetUp();
        FirmwareCatalogue = testCatalogue;
        FirmwareCatalogueSize = 3;
    }
};

}  // namespace

TEST_F(TestCatalogueTest, DollarPatternsAndModelCodeZero) {
    EXPECT_EQ(MatchCatalogue("EXACT 1.0", 7), 0);
    EXPECT_EQ(MatchCatalogue("EXACT 1.0x", 7), -1);
    EXPECT_EQ(MatchCatalogue("EXACT 1.", 7), -1);
    EXPECT_EQ(MatchCatalogue("EXACT 1.0", 8), -1);
    EXPECT_EQ(MatchCatalogue("ANY 5", 1234), 1);
    EXPECT_EQ(MatchCatalogue("ANY 5", 0), 1);
}

TEST_F(TestCatalogueTest, Eligibility) {
    const struct {
        const char* identity;
        std::uint32_t flags;
        const char* moduleText;
        int eligible;
    } cases[] = {
        {"EXACT 1.0", SF_UPDATABLE, "", 1},
        {"EXACT 1.0", SF_EXTENDED_REQUEST, "", 1},
        {"EXACT 1.0", SF_HAS_MODULE | SF_UPDATING, "", 0},
        {"ANY 1", SF_UPDATABLE, "ISDN", 0},
        {"ANY 1", SF_EXTENDED_REQUEST, "", 0},
        {"ANY 1", SF_EXTENDED_REQUEST, "ISDN", 1},
        {"NONE", SF_UPDATABLE | SF_EXTENDED_REQUEST, "x", 0},
    };
    for (const auto& c : cases) {
        StationRecord s{};
        std::strcpy(s.identity, c.identity);
        s.modelCode = 7;
        s.flags = c.flags;
        std::strcpy(s.moduleText, c.moduleText);
        EXPECT_EQ(IsStationEligible(&s), c.eligible) << c.identity << " " << c.flags << " " << c.moduleText;
    }
}

TEST_F(RegistryTest, UpdatingStationIsStillListed) {
    DiscoveryReply reply;
    reply.status = STATUS_UPDATABLE | STATUS_UPDATING;
    StationRecord* s = Decode(reply);
    EXPECT_EQ(IsStationEligible(s), 1);
}

TEST_F(RegistryTest, ListingShowsTheEligibleAndForgetsTheRest) {
    const struct {
        const char* name;
        const char* identity;
        std::uint16_t model;
        std::uint16_t status;
    } stations[] = {
        {"first", "KVZ-3170 2.02", 52, STATUS_UPDATABLE},
        {"other model", "KVZ-3170 2.02", 53, STATUS_UPDATABLE},
        {"second", "KVZ-3170 2.01", 52, STATUS_EXTENDED_REQUEST},
        {"not updatable", "KVZ-3170 2.02", 52, 0},
        {"third", "KVZ-3170 2.03", 52, STATUS_UPDATABLE},
    };
    std::uint8_t id = 1;
    for (const auto& s : stations) {
        DiscoveryReply reply;
        reply.productName = s.name;
        reply.shortIdentity = s.identity;
        reply.modelCode = s.model;
        reply.status = s.status;
        Decode(reply, id++);
    }
    for (int round = 0; round < 2; ++round) {
        ListEligibleStations(World().dialog);
        EXPECT_EQ(World().display.listLines, (std::vector<std::string>{"first", "second", "third"}));
        std::vector<int> indexes;
        for (StationRecord* s = FirstStation(); s; s = s->next) indexes.push_back(s->listIndex);
        EXPECT_EQ(indexes, (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(Utf8(Status()), "3台のルミナゲートが見つかりました。");
    }
}

TEST_F(RegistryTest, EmptyListingShowsText6) {
    ListEligibleStations(World().dialog);
    EXPECT_TRUE(World().display.listLines.empty());
    EXPECT_EQ(Status(), Text(6));
}
