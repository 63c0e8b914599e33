// Module-image rows (search queries and module polling) with a test catalogue,
// and this PC's identity and endpoint.
#include <gtest/gtest.h>

#include <cstring>

#include "procedures/exchange.h"
#include "procedures/search.h"
#include "procedures/upload.h"
#include "protocol/endpoint.h"
#include "protocol/reply_queue.h"
#include "registry/catalogue.h"
#include "support/station_peer.h"
#include "support/world_fixture.h"
#include "ui/display.h"
#include "ui/main_dialog.h"

namespace {

const CatalogueEntry moduleCatalogue[] = {
    {"KVZ-3170 ", 52, "MODEM 3.00", "3.00", 0x20001, 0x0300, 7},
    {"KVZ-3180 ", 0, "KVZ-3180 1.1", "1.1", 0x30000, 0x0101, 0},
};

void ConfirmUpdateOfFirstLine() {
    SelectLine(0);
    TypePassword("secret");
    World().display.answers.push_back(1);
    Press(ExecuteButton);
}

constexpr std::uint16_t EXTENDED_WITH_MODULE = (1u << 8) | (1u << 10) | (1u << 11);

class ModuleTest : public WorldTest {
   protected:
    void SetUp() override {
        WorldTest::SetUp();
        FirmwareCatalogue = moduleCatalogue;
        FirmwareCatalogueSize = 2;
        for (int i = 0; i < 3; ++i) {
            peers[i] = StationPeer();
            peers[i].id = MakeStationId(static_cast<std::uint8_t>(0x21 + i));
            peers[i].discovery.ipAddress = 0xC0000215 + static_cast<std::uint32_t>(i);
            peers[i].discovery.productName = "Station " + std::to_string(i);
            peers[i].discovery.status = EXTENDED_WITH_MODULE;
            peers[i].moduleText = "MODEM 2.10";
        }
    }
    void Join(int count) {
        for (int i = 0; i < count; ++i) AddPeer(peers[i]);
    }
    // The search runs to its listing; the user then updates the first line.
    void SearchAndConfirmUpdate() {
        StartDialog();
        ASSERT_TRUE(RunUntil([&] { return Idle(); }, 60000));
        ConfirmUpdateOfFirstLine();
    }
    bool Idle() const { return !exchange.busy && World().display.enabled.count(ExecuteButton) &&
                               World().display.enabled.at(ExecuteButton); }
    StationPeer peers[3];
};

}  // namespace

TEST_F(ModuleTest, SearchAsksEachModuleStationInTurnAndListsThoseWithAModuleText) {
    peers[1].moduleResult = RESULT_FAILED;   // dropped from the list
    peers[2].silentFor[CMD_MODULE_INFO] = 3;  // never answers: keeps an empty text
    Join(3);
    StartDialog();
    ASSERT_TRUE(RunUntil([&] { return Idle(); }, 60000));
    EXPECT_EQ(World().display.listLines, std::vector<std::string>{"Station 0"});
    EXPECT_EQ(peers[0].CountSent(CMD_MODULE_INFO), 1);
    EXPECT_EQ(peers[2].CountSent(CMD_MODULE_INFO), 3);
    EXPECT_EQ(World().display.progressHigh, 3 * 90);
    EXPECT_STREQ(FirstStation()->moduleText, "MODEM 2.10");
    EXPECT_EQ(FirstStation()->moduleSelector, 1u);
    const auto h = World().display.statusHistory;
    EXPECT_NE(std::find(h.begin(), h.end(), Text(32)), h.end());
    // The request carried the modem selector.
    const auto& request = peers[0].requests.back();
    EXPECT_EQ(request.bytes[32], 1);
}

TEST_F(ModuleTest, AnswersFromAnotherStationOrWithOtherResultsDoNotEndTheQuery) {
    Join(1);
    peers[0].silentFor[CMD_MODULE_INFO] = 1;
    StartDialog();
    RunUntil([] { return exchange.command == CMD_MODULE_INFO; }, 20000);
    DeliverDatagram(ReplyDatagram(REPLY_MODULE_INFO, MakeStationId(0x99), localId, Bytes{'X', 0}), 100);
    DeliverDatagram(ReplyDatagram(REPLY_MODULE_INFO, peers[0].id, localId, Bytes{'Y', 0}, 5), 200);
    RunFor(1000);
    EXPECT_TRUE(exchange.busy);
    EXPECT_EQ(World().display.listLines.size(), 0u);
    ASSERT_TRUE(RunUntil([&] { return Idle(); }, 20000));
    EXPECT_STREQ(FirstStation()->moduleText, "MODEM 2.10");  // from the second sending's answer
}

TEST_F(ModuleTest, LongModuleAnswerFillsTheFieldAndShortOneReplacesIt) {
    peers[0].moduleText = std::string(300, 'L');
    Join(1);
    StartDialog();
    ASSERT_TRUE(RunUntil([&] { return Idle(); }, 60000));
    StationRecord* s = FirstStation();
    EXPECT_EQ(std::string(s->moduleText, 256), std::string(256, 'L'));
    SelectLine(0);  // shows at most 255 bytes of it
    EXPECT_NE(World().display.statusHistory.back().find(std::string(255, 'L')), std::string::npos);
    EXPECT_EQ(World().display.statusHistory.back().find(std::string(256, 'L')), std::string::npos);
}

TEST_F(ModuleTest, CancelDuringTheModuleQueryListsAtOnceWithAFullBar) {
    peers[0].silentFor[CMD_MODULE_INFO] = 3;
    Join(2);
    StartDialog();
    RunUntil([] { return exchange.command == CMD_MODULE_INFO; }, 20000);
    RunFor(500);
    Press(SearchButton);
    EXPECT_EQ(World().display.progressHigh, 1);
    EXPECT_EQ(World().display.progressPosition, 1);
    EXPECT_TRUE(World().display.listLines.empty());  // nobody had a module text yet
    EXPECT_EQ(World().display.statusHistory.back(), Text(6));
    EXPECT_FALSE(exchange.busy);
}

TEST_F(ModuleTest, ModuleUpdateIsVerifiedByModulePolling) {
    peers[0].moduleTextAfterRestart = "MODEM 3.00 rev B";
    Join(1);
    SearchAndConfirmUpdate();
    EXPECT_NE(World().display.questions.at(0).find(Cp932("モデムモジュール")), std::string::npos);
    ASSERT_TRUE(RunUntil([] { return World().display.statusHistory.back() == Text(27); }, 400000));
    EXPECT_EQ(peers[0].CountSent(CMD_UPDATE_REQUEST_EX), 1);
    EXPECT_STREQ(FirstStation()->moduleText, "MODEM 3.00 rev B");
}

TEST_F(ModuleTest, ModulePollingGivesUpOnTick2530) {
    peers[0].restarts = false;
    Join(1);
    SearchAndConfirmUpdate();
    ASSERT_TRUE(RunUntil([] { return World().display.statusHistory.back() == Text(21); }, 60000));
    const std::uint64_t since = World().nowMs;
    ASSERT_TRUE(RunUntil([] { return World().display.statusHistory.back() == Text(29); }, 400000));
    EXPECT_EQ((World().nowMs - since + 99) / 100, 2530u);
}

namespace {

const CatalogueEntry unknownClassCatalogue[] = {
    {"KVZ-3170 ", 52, "KVZ-3170 2.03", "2.03", 0x30000, 0x0203, 0},
};

// Lists one main-firmware station and updates it until the upload runs.
void UpdateUntilUploading(StationPeer& peer) {
    FirmwareCatalogue = BuiltInCatalogue;
    FirmwareCatalogueSize = BuiltInCatalogueSize;
    peer.discovery.status = 1u << 8;
    AddPeer(peer);
    StartDialog();
    ASSERT_TRUE(RunUntil([] { return World().display.statusHistory.back() != Text(4) &&
                                     World().display.statusHistory.back() != Text(32); }, 60000));
    ConfirmUpdateOfFirstLine();
    ASSERT_TRUE(RunUntil([] { return World().display.statusHistory.back() == Text(19); }, 60000));
}

}  // namespace

TEST_F(ModuleTest, SuccessForARowOfNoKnownClassShowsText21AndEnds) {
    UpdateUntilUploading(peers[0]);
    // The row the transfer-result exchange matches is of no known class.
    FirmwareCatalogue = unknownClassCatalogue;
    FirmwareCatalogueSize = 1;
    ASSERT_TRUE(RunUntil([] { return World().display.statusHistory.back() == Text(21); }, 60000));
    EXPECT_FALSE(exchange.busy);
    EXPECT_EQ(upload.updateState, US_IDLE);
    EXPECT_TRUE(World().display.enabled[ExecuteButton]);
    RunFor(100000);
    EXPECT_EQ(peers[0].CountSent(CMD_FIND), 4);  // three searching, one re-find: no polling
}

TEST_F(ModuleTest, SuccessWithoutACatalogueRowIsPolledAsMainFirmware) {
    peers[0].identityAfterRestart = "SOMETHING ELSE";
    UpdateUntilUploading(peers[0]);
    FirmwareCatalogueSize = 0;  // the station matches no row any more
    ASSERT_TRUE(RunUntil([] { return World().display.statusHistory.back() == Text(21); }, 60000));
    EXPECT_EQ(exchange.catalogueIndex, -1);
    ASSERT_TRUE(RunUntil([] { return World().display.statusHistory.back() == Text(27); }, 400000));
    EXPECT_GT(peers[0].CountSent(CMD_FIND), 4);
}

// --- This PC's identity and the endpoint

TEST_F(ModuleTest, LocalIdentityIsTheAdapterAddressOrDependsOnlyOnTheMilliseconds) {
    OpenEndpoint();
    EXPECT_EQ(LocalStationId, (StationId{0x00, 0x16, 0x01, 0x02, 0x03, 0x04}));
    CloseEndpoint();

    World().adapterReadable = false;
    World().localMilliseconds = 517;
    OpenEndpoint();
    const StationId first = LocalStationId;
    CloseEndpoint();
    OpenEndpoint();
    EXPECT_EQ(LocalStationId, first);
    CloseEndpoint();
    World().localMilliseconds = 518;
    OpenEndpoint();
    EXPECT_NE(LocalStationId, first);
}

TEST_F(ModuleTest, FailedEndpointStillClosesCleanlyAndSearchesFindNothing) {
    const struct {
        const char* name;
        bool library, socket, broadcast;
    } cases[] = {
        {"socket library", true, false, false},
        {"socket", false, true, false},
        {"broadcast", false, false, true},
    };
    for (const auto& c : cases) {
        SetUp();
        Join(1);
        World().failLibraryStart = c.library;
        World().failDatagramSocket = c.socket;
        World().failBroadcast = c.broadcast;
        StartDialog();
        RunFor(20000);
        EXPECT_EQ(World().display.statusHistory.back(), Text(6)) << c.name;
        MainDialogDestroy(World().dialog);
        EXPECT_EQ(World().libraryEnds, 1) << c.name;
        EXPECT_EQ(DatagramSocket, NO_SOCKET) << c.name;
        EXPECT_FALSE(World().datagramOpen) << c.name;
    }
}
