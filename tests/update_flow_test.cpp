// The dialog's procedures against scripted stations in virtual time: search,
// preparation, upload, verification, and cancel at every stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "procedures/exchange.h"
#include "procedures/upload.h"
#include "protocol/upload_channel.h"
#include "registry/catalogue.h"
#include "support/station_peer.h"
#include "support/world_fixture.h"
#include "ui/display.h"
#include "ui/main_dialog.h"

namespace {

// Updatable and taking the extended request.
constexpr std::uint16_t STATUS_UPDATABLE_BITS = (1u << 8) | (1u << 10);

std::string Joined(TextId id, TextId insert) {
    std::string format = Text(id);
    return format.replace(format.find("%s"), 2, Text(insert));
}

class UpdateTest : public WorldTest {
   protected:
    void SetUp() override {
        WorldTest::SetUp();
        std::copy(localId.begin(), localId.end(), World().adapterAddress);
        station = StationPeer();
        station.discovery.productName = "LuminaGate A";
        AddPeer(station);
    }
    bool StatusIs(const std::string& text) const { return Status() == text; }
    bool RunUntilStatus(const std::string& text, std::uint64_t maxMs = 400000) {
        return RunUntil([&] { return StatusIs(text); }, maxMs);
    }
    bool Seen(const std::string& text) const {
        const auto h = StatusHistory();
        return std::find(h.begin(), h.end(), text) != h.end();
    }
    // Dialog start and the first search up to its listing.
    void SearchAndList() {
        StartDialog();
        ASSERT_TRUE(RunUntil([] { return !exchange.busy && !World().display.enabled.empty() &&
                                         World().display.enabled[ExecuteButton]; },
                             20000));
    }
    void BeginUpdate(const std::string& password = "secret") {
        SelectLine(0);
        TypePassword(password);
        World().display.answers.push_back(1);
        Press(ExecuteButton);
    }
    // Search, listing and an update up to the given point.
    void UpdateUntil(const std::string& text) {
        SearchAndList();
        BeginUpdate();
        ASSERT_TRUE(RunUntilStatus(text)) << Utf8(Status());
    }
    bool ControlsEnabled() { return World().display.enabled[ExecuteButton] && World().display.enabled[ExitButton]; }
    StationPeer station;
};

}  // namespace

TEST_F(UpdateTest, WholeUpdateFromDialogStartToSuccess) {
    const auto began = std::chrono::steady_clock::now();
    SearchAndList();
    EXPECT_EQ(World().display.listLines, std::vector<std::string>{"LuminaGate A"});
    SelectLine(0);
    EXPECT_EQ(Status(), Cp932("製品名　：　KVZ-3170 2.02\r\nIPアドレス　：　192.0.2.11"));
    BeginUpdate();
    ASSERT_TRUE(RunUntilStatus(Text(27)));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    const std::string details = Cp932("製品名　：　KVZ-3170 2.02\r\nIPアドレス　：　192.0.2.11");
    EXPECT_EQ(StatusHistory(), (std::vector<std::string>{Text(4), Text(32), Cp932("1台のルミナゲートが見つかりました。"),
                                                         details, details, Text(18), Text(19), Text(15), Text(21),
                                                         Text(27)}));
    EXPECT_EQ(station.image, TestImage());
    EXPECT_TRUE(station.imageShutdown);
    EXPECT_TRUE(CurrentStream()->closed);
    EXPECT_TRUE(ControlsEnabled());
    EXPECT_EQ(upload.updateState, US_IDLE);
    EXPECT_EQ(World().display.questions.size(), 1u);
    EXPECT_NE(World().display.questions[0].find(Cp932("「2.03」")), std::string::npos);
    EXPECT_LT(seconds, 1.0);
}

TEST_F(UpdateTest, ImageGoesOutIn1024ByteChunksWithTheLastShort) {
    UpdateUntil(Text(21));
    const auto& lengths = CurrentStream()->sendLengths;
    ASSERT_EQ(lengths.size(), 865u);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 1024), 864);
    EXPECT_EQ(lengths.back(), 504);
    EXPECT_EQ(upload.chunkCount, 865);
    const auto& ranges = World().display.progressRanges;
    EXPECT_NE(std::find_if(ranges.begin(), ranges.end(), [](auto r) { return r.second == 864; }), ranges.end());
}

TEST_F(UpdateTest, ImageOfWholeChunksEndsWithoutAShortOne) {
    UseImage(1024 * 40);
    UpdateUntil(Text(27));
    const auto& lengths = CurrentStream()->sendLengths;
    EXPECT_EQ(lengths.size(), 40u);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 1024), 40);
    EXPECT_EQ(station.image, TestImage(1024 * 40));
}

TEST_F(UpdateTest, PartialAndBlockedSendsContinueAtTheFirstByteNotTaken) {
    station.maxPerSend = 700;
    station.blockEveryNth = 5;
    UpdateUntil(Text(27));
    EXPECT_EQ(station.image, TestImage());
}

TEST_F(UpdateTest, UpdateRequestOutcomes) {
    const struct {
        const char* name;
        std::string password;
        bool fixed;
        std::int32_t result;
        std::string text;
    } cases[] = {
        {"wrong password", "wrong", false, 0, Text(13)},
        {"station cannot use the firmware", "secret", true, RESULT_FAILED, Text(33)},
        {"internal error", "secret", true, 0x1234, Cp932("内部エラーが発生しました。\r\nエラーコード 0x00001234")},
    };
    for (const auto& c : cases) {
        SetUp();
        station.fixedUpdateResult = c.fixed;
        station.updateResult = c.result;
        SearchAndList();
        BeginUpdate(c.password);
        EXPECT_TRUE(RunUntilStatus(c.text, 30000)) << c.name;
        RunFor(20000);
        EXPECT_EQ(Status(), c.text) << c.name;
        EXPECT_TRUE(ControlsEnabled()) << c.name;
        EXPECT_TRUE(World().streams.empty()) << c.name;
        EXPECT_EQ(World().display.selectedLine, -1) << c.name;
        EXPECT_EQ(World().display.listLines.size(), 1u) << c.name;  // still there to try again
    }
}

TEST_F(UpdateTest, UnansweredUpdateRequestNamesTheLikelyCauseByTheStationsNetmask) {
    const struct {
        std::uint32_t stationIp, netmask, hostIp;
        TextId hint;
    } cases[] = {
        {0xC000020B, 0xFFFFFF00, 0xC0000201, 17},  // same network
        {0x0A000005, 0xFF000000, 0xC0000201, 16},  // another network
        {0x0A000005, 0xFF000000, 0, 16},            // this PC's address unknown
        {0x00000005, 0xFF000000, 0, 17},            // ... counts as 0.0.0.0
    };
    for (const auto& c : cases) {
        SetUp();
        station.discovery.ipAddress = c.stationIp;
        station.discovery.netmask = c.netmask;
        World().hostAddress = c.hostIp;
        station.silentFor[CMD_UPDATE_REQUEST] = 3;
        SearchAndList();
        BeginUpdate();
        EXPECT_TRUE(RunUntilStatus(Joined(12, c.hint), 30000)) << std::hex << c.stationIp;
        EXPECT_EQ(station.CountSent(CMD_UPDATE_REQUEST), 3);
    }
}

TEST_F(UpdateTest, StationGoneBeforeTheRefind) {
    SearchAndList();
    station.gone = true;
    BeginUpdate();
    EXPECT_TRUE(RunUntilStatus(Joined(12, 17), 30000));
    EXPECT_TRUE(ControlsEnabled());
}

TEST_F(UpdateTest, ExtendedRequestIsChosenOnTheRefreshedRecord) {
    SearchAndList();
    station.discovery.status = STATUS_UPDATABLE_BITS;
    BeginUpdate();
    ASSERT_TRUE(RunUntilStatus(Text(27)));
    EXPECT_EQ(station.CountSent(CMD_UPDATE_REQUEST_EX), 1);
    EXPECT_EQ(station.CountSent(CMD_UPDATE_REQUEST), 0);
}

TEST_F(UpdateTest, EveryRequestFoundByItsThirdSending) {
    for (CommandWord c : {CMD_FIND, CMD_UPDATE_REQUEST, CMD_TRANSFER_RESULT}) station.silentFor[c] = 2;
    SearchAndList();
    ASSERT_EQ(World().display.listLines.size(), 1u);
    BeginUpdate();
    ASSERT_TRUE(RunUntilStatus(Text(27)));
}

// --- Upload failures

TEST_F(UpdateTest, UploadConnectionFailures) {
    const struct {
        const char* name;
        bool accept, answer;
        long closeAfter;
    } cases[] = {
        {"refused", false, true, -1},
        {"never answered (30 s watchdog)", true, false, -1},
        {"closed by the station while sending", true, true, 5000},
    };
    for (const auto& c : cases) {
        SetUp();
        station.acceptConnection = c.accept;
        station.answerConnection = c.answer;
        station.closeAfterBytes = c.closeAfter;
        SearchAndList();
        BeginUpdate();
        EXPECT_TRUE(RunUntilStatus(Joined(12, 17), 60000)) << c.name;
        EXPECT_EQ(upload.updateState, US_IDLE) << c.name;
        EXPECT_TRUE(ControlsEnabled()) << c.name;
        EXPECT_EQ(station.CountSent(CMD_TRANSFER_RESULT), 0) << c.name;
        EXPECT_TRUE(CurrentStream()->closed) << c.name;
        EXPECT_TRUE(World().timers.empty()) << c.name;
    }
}

TEST_F(UpdateTest, RegressionCloseWhileConnectingLeftTheUploadWaitingForever) {
    station.answerConnection = false;
    UpdateUntil(Text(19));
    MainDialogUploadSocket(World().dialog, NOTIFY_CLOSE);
    EXPECT_EQ(Status(), Joined(12, 17));
    EXPECT_EQ(upload.updateState, US_IDLE);
    EXPECT_TRUE(ControlsEnabled());
    EXPECT_TRUE(World().timers.empty());
}

TEST_F(UpdateTest, ConnectWatchdogIsThirtySeconds) {
    station.answerConnection = false;
    SearchAndList();
    BeginUpdate();
    ASSERT_TRUE(RunUntilStatus(Text(19), 30000));
    const std::uint64_t connectingSince = World().nowMs;
    ASSERT_TRUE(RunUntilStatus(Joined(12, 17), 60000));
    EXPECT_EQ(World().nowMs - connectingSince, 30000u);
}

TEST_F(UpdateTest, StalledUploadAsksForTheResultAndReportsTheError) {
    station.stallAfterBytes = 100 * 1024;
    UpdateUntil(Text(25));
    const std::uint64_t stalledAt = World().nowMs;
    EXPECT_EQ(upload.updateState, US_ERROR_ABORT);
    ASSERT_TRUE(RunUntilStatus(Text(23), 30000));
    EXPECT_LT(World().nowMs - stalledAt, 1000u);
    EXPECT_TRUE(CurrentStream()->closed);
    EXPECT_EQ(upload.updateState, US_IDLE);
    EXPECT_TRUE(ControlsEnabled());
}

TEST_F(UpdateTest, WriteNotificationWithAnErrorEndsTheUploadAndAsksForTheResult) {
    station.writeReadyDelayMs = 10;
    UpdateUntil(Text(15));
    RunFor(200);
    constexpr std::uint32_t WSAECONNRESET = 10054;
    MainDialogUploadSocket(World().dialog, NOTIFY_WRITE | (WSAECONNRESET << 16));
    EXPECT_EQ(Status(), Text(25));
    EXPECT_EQ(upload.updateState, US_ERROR_ABORT);
    EXPECT_TRUE(CurrentStream()->closed);
    ASSERT_TRUE(RunUntilStatus(Text(23), 30000));
    EXPECT_EQ(upload.updateState, US_IDLE);
}

TEST_F(UpdateTest, TransferResultOutcomes) {
    const struct {
        const char* name;
        bool fixed;
        std::int32_t result;
        bool silent;
        std::string text;
    } cases[] = {
        {"failed after a complete upload", true, RESULT_FAILED, false, Text(22)},
        {"internal error", true, 0x55, false, Cp932("内部エラーが発生しました。\r\nエラーコード 0x00000055")},
        {"no answer", false, 0, true, Joined(12, 17)},
    };
    for (const auto& c : cases) {
        SetUp();
        station.fixedTransferResult = c.fixed;
        station.transferResult = c.result;
        if (c.silent) station.silentFor[CMD_TRANSFER_RESULT] = 3;
        UpdateUntil(c.text);
        EXPECT_EQ(upload.updateState, US_IDLE) << c.name;
        EXPECT_TRUE(ControlsEnabled()) << c.name;
        EXPECT_FALSE(Seen(Text(21))) << c.name;
    }
}

TEST_F(UpdateTest, VerificationOutcomes) {
    const struct {
        const char* name;
        bool restarts;
        std::string identity;
        TextId text;
    } cases[] = {
        {"expected identity", true, "KVZ-3170 2.03", 27},
        {"expected identity and more", true, "KVZ-3170 2.03 (build 7)", 27},
        {"old identity", true, "KVZ-3170 2.02", 28},
        {"other letter case", true, "kvz-3170 2.03", 28},
        {"never restarts", false, "", 29},
    };
    for (const auto& c : cases) {
        SetUp();
        station.restarts = c.restarts;
        station.identityAfterRestart = c.identity;
        UpdateUntil(Text(21));
        const std::uint64_t pollingSince = World().nowMs;
        ASSERT_TRUE(RunUntilStatus(Text(c.text))) << c.name;
        if (c.text == 29) {
            // The polling takes over the running tick timer: its 660th tick ends it.
            EXPECT_EQ((World().nowMs - pollingSince + 99) / 100, 660u) << c.name;
        }
        EXPECT_TRUE(ControlsEnabled()) << c.name;
    }
}

// --- Cancel at every stage

TEST_F(UpdateTest, CancelDuringTheSearchListsWhatWasHeard) {
    StartDialog();
    RunFor(1000);
    Press(SearchButton);
    EXPECT_EQ(World().display.listLines.size(), 1u);
    EXPECT_EQ(Status(), Cp932("1台のルミナゲートが見つかりました。"));
    EXPECT_TRUE(ControlsEnabled());
}

TEST_F(UpdateTest, CancelDuringTheRefind) {
    SearchAndList();
    station.gone = true;
    BeginUpdate();
    RunFor(1000);
    Press(SearchButton);
    EXPECT_EQ(Status(), Joined(12, 17));
    EXPECT_TRUE(ControlsEnabled());
}

TEST_F(UpdateTest, CancelDuringTheUpdateRequestShowsNoNewText) {
    station.silentFor[CMD_UPDATE_REQUEST] = 3;
    SearchAndList();
    BeginUpdate();
    RunFor(4000);
    ASSERT_EQ(Status(), Text(18));
    Press(SearchButton);
    EXPECT_EQ(Status(), Text(18));
    EXPECT_TRUE(ControlsEnabled());
    RunFor(20000);
    EXPECT_EQ(Status(), Text(18));
}

TEST_F(UpdateTest, CancelWhileConnectingAsksForTheResultWithoutSendingAChunk) {
    station.answerConnection = false;
    UpdateUntil(Text(19));
    Press(SearchButton);
    EXPECT_EQ(Status(), Text(26));
    EXPECT_EQ(upload.updateState, US_USER_ABORT);
    ASSERT_TRUE(RunUntilStatus(Text(24), 30000));
    EXPECT_TRUE(CurrentStream()->sendLengths.empty());
    EXPECT_EQ(station.CountSent(CMD_TRANSFER_RESULT), 1);
    EXPECT_EQ(UploadChannel, NO_SOCKET);  // the abandoned connection is closed
}

TEST_F(UpdateTest, CancelDuringASlowUploadStopsSendingAndReportsTheStop) {
    station.writeReadyDelayMs = 10;
    UpdateUntil(Text(15));
    RunFor(500);
    Press(SearchButton);
    const auto sendsAtCancel = CurrentStream()->sendLengths.size();
    EXPECT_EQ(Status(), Text(26));
    EXPECT_FALSE(CurrentStream()->closed);
    ASSERT_TRUE(RunUntilStatus(Text(24), 30000));
    EXPECT_EQ(CurrentStream()->sendLengths.size(), sendsAtCancel);
    EXPECT_TRUE(CurrentStream()->closed);
    EXPECT_TRUE(ControlsEnabled());
}

TEST_F(UpdateTest, SecondCancelDuringTheAbortCancelsTheResultQuery) {
    station.writeReadyDelayMs = 10;
    station.silentFor[CMD_TRANSFER_RESULT] = 3;
    UpdateUntil(Text(15));
    Press(SearchButton);
    RunFor(1000);
    Press(SearchButton);
    EXPECT_EQ(Status(), Text(26));
    EXPECT_EQ(upload.updateState, US_IDLE);
    EXPECT_TRUE(ControlsEnabled());
    EXPECT_TRUE(CurrentStream()->closed);
    EXPECT_TRUE(World().timers.empty());
}

TEST_F(UpdateTest, CancelDuringThePollingKeepsText21) {
    station.restarts = false;
    UpdateUntil(Text(21));
    RunFor(5000);
    Press(SearchButton);
    EXPECT_EQ(Status(), Text(21));
    EXPECT_TRUE(ControlsEnabled());
    RunFor(100000);
    EXPECT_EQ(Status(), Text(21));
}

// --- The dialog's commands

TEST_F(UpdateTest, ExitIsRefusedWhileAnythingRuns) {
    station.writeReadyDelayMs = 10;
    StartDialog();
    MainDialogCommand(World().dialog, ExitButton);  // searching
    EXPECT_FALSE(World().display.ended);
    RunUntil([] { return !exchange.busy; }, 20000);
    BeginUpdate();
    RunUntilStatus(Text(15));
    MainDialogCommand(World().dialog, ExitButton);  // uploading
    MainDialogCommand(World().dialog, ExecuteButton);
    EXPECT_FALSE(World().display.ended);
    EXPECT_EQ(World().display.questions.size(), 1u);
    RunUntilStatus(Text(27));
    MainDialogCommand(World().dialog, ExitButton);
    EXPECT_TRUE(World().display.ended);
    EXPECT_EQ(World().display.endResult, 0);
}

TEST_F(UpdateTest, StationReportingAnUpdateInProgressIsListedButNotUpdated) {
    station.discovery.status = (1u << 8) | (1u << 9);
    SearchAndList();
    ASSERT_EQ(World().display.listLines.size(), 1u);
    const auto sentBefore = World().sent.size();
    BeginUpdate();
    EXPECT_EQ(Status(), Text(20));
    EXPECT_TRUE(World().display.questions.empty());
    RunFor(20000);
    EXPECT_EQ(World().sent.size(), sentBefore);
}

TEST_F(UpdateTest, AnsweringNoChangesNothingButKeepsThePassword) {
    SearchAndList();
    SelectLine(0);
    const std::string details = Status();
    TypePassword("abc");
    World().display.answers.push_back(0);
    Press(ExecuteButton);
    EXPECT_EQ(Status(), details);
    EXPECT_EQ(World().display.selectedLine, 0);
    EXPECT_STREQ(FirstStation()->password, "abc");
    RunFor(20000);
    EXPECT_EQ(station.CountSent(CMD_FIND), 3);
}

TEST_F(UpdateTest, PasswordIsCutToEightBytesOfWholeCharacters) {
    const struct {
        std::string typed, stored;
    } cases[] = {
        {"12345678", "12345678"},
        {"", ""},
        {Cp932("パスワード"), Cp932("パスワー")},
        {"abcdefg" + Cp932("パ"), "abcdefg"},
    };
    SearchAndList();
    StationRecord* s = FirstStation();
    std::strcpy(s->password, "longerpw");
    for (const auto& c : cases) {
        SelectLine(0);
        TypePassword(c.typed);
        World().display.answers.push_back(0);
        Press(ExecuteButton);
        EXPECT_EQ(std::string(s->password), c.stored);
        EXPECT_EQ(std::string(s->password, 9).substr(c.stored.size()), std::string(9 - c.stored.size(), '\0'));
    }
}

TEST_F(UpdateTest, StationNoRowFitsAnyMoreGetsText33AndNothingIsSent) {
    SearchAndList();
    std::strcpy(FirstStation()->identity, "KVZ-3171 1.00");
    const auto sentBefore = World().sent.size();
    BeginUpdate();
    EXPECT_EQ(Status(), Text(33));
    EXPECT_TRUE(World().display.questions.empty());
    EXPECT_EQ(World().sent.size(), sentBefore);
}

TEST_F(UpdateTest, SelectionDetails) {
    station.discovery.ipAddress = (10u << 24) | 1;
    SearchAndList();
    SelectLine(0);
    EXPECT_EQ(Status(), Cp932("製品名　：　KVZ-3170 2.02\r\nIPアドレス　：　10.0.0.1"));
    StationRecord* s = FirstStation();
    std::memset(s->moduleText, 'M', sizeof s->moduleText);  // fills the field, no terminator
    std::memset(s->identity, 'I', 255);
    SelectLine(0);
    EXPECT_EQ(Status().size(), 511u);
    EXPECT_EQ(Status().substr(0, 16), Cp932("製品名　：　") + "IIII");
    SelectLine(5);  // no station there
    EXPECT_EQ(Status().size(), 511u);
}

TEST_F(UpdateTest, SearchAgainEmptiesTheListFirst) {
    SearchAndList();
    FirstStation()->listIndex = 9;
    station.gone = true;
    Press(SearchButton);
    EXPECT_EQ(FirstStation(), nullptr);
    EXPECT_EQ(World().display.listLines.size(), 1u);  // lines replaced only by the listing
    RunFor(20000);
    EXPECT_TRUE(World().display.listLines.empty());
    EXPECT_EQ(Status(), Text(6));
}

TEST_F(UpdateTest, DialogEndClosesEverything) {
    station.writeReadyDelayMs = 10;
    UpdateUntil(Text(15));
    Press(SearchButton);  // user abort leaves the connection open for now
    MainDialogDestroy(World().dialog);
    EXPECT_TRUE(CurrentStream()->closed);
    EXPECT_FALSE(World().datagramOpen);
    EXPECT_EQ(World().libraryEnds, 1);
    EXPECT_EQ(FirstStation(), nullptr);
}
