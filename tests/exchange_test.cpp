// The exchange engine's schedule, modes, take-over and progress, tick by tick.
#include <gtest/gtest.h>

#include "procedures/exchange.h"
#include "protocol/bytes.h"
#include "protocol/reply_queue.h"
#include "support/world_fixture.h"
#include "ui/display.h"

namespace {

struct Seen {
    ExchangeEvent event;
    std::uint64_t tick;
};

std::vector<Seen> seen;
std::uint64_t startMs = 0;
int arrivalResult = 0;

int Recorder(Window, ExchangeEvent event) {
    seen.push_back({event, (World().nowMs - startMs) / 100});
    return event == EV_ARRIVAL ? arrivalResult : 0;
}

class ExchangeTest : public WorldTest {
   protected:
    void SetUp() override {
        WorldTest::SetUp();
        OpenTestEndpoint();
        seen.clear();
        arrivalResult = 0;
        startMs = World().nowMs;
    }
    int Start(std::uint32_t first, std::uint32_t interval, int collect, std::uint32_t sendings) {
        startMs = World().nowMs;
        return StartExchange(World().dialog, first, interval, collect, sendings, CMD_FIND, nullptr, Recorder);
    }
    std::vector<std::uint64_t> SendTicks() const {
        std::vector<std::uint64_t> ticks;
        for (const auto& d : World().sent) ticks.push_back((d.atMs - startMs) / 100);
        return ticks;
    }
    Bytes AnyReply() const { return ReplyDatagram(REPLY_FIND, MakeStationId(1), BROADCAST_STATION_ID, {}); }
};

}  // namespace

TEST_F(ExchangeTest, ScheduleOfSendingsAndTimeOut) {
    const struct {
        std::uint32_t first, interval, sendings;
        std::uint64_t lastSend, timeout;
        std::uint16_t range;
    } cases[] = {
        {3000, 3000, 3, 62, 93, 90},
        {150, 100, 1, 0, 2, 1},  // 150 ms counts as one tick
        {1000, 1000, 60, 649, 660, 600},
        {1000, 1000, 230, 2519, 2530, 2300},
    };
    for (const auto& c : cases) {
        SetUp();
        EXPECT_EQ(Start(c.first, c.interval, DISPATCH, c.sendings), 1);
        EXPECT_EQ(World().display.progressHigh, c.range);
        RunFor(400000);
        const auto ticks = SendTicks();
        ASSERT_EQ(ticks.size(), c.sendings);
        EXPECT_EQ(ticks.front(), 0u);
        if (c.sendings >= 3) {
            EXPECT_EQ(ticks[1], c.first / 100 + 1);
            EXPECT_EQ(ticks[2], c.first / 100 + 1 + c.interval / 100 + 1);
        }
        EXPECT_EQ(ticks.back(), c.lastSend);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].event, EV_TIMEOUT);
        EXPECT_EQ(seen[0].tick, c.timeout);
        EXPECT_EQ(World().display.progressPosition, c.range);  // progressEnd after the stop
        EXPECT_FALSE(exchange.busy);
        EXPECT_TRUE(World().timers.empty());
        EXPECT_FALSE(World().datagramSubscribed);
    }
}

TEST_F(ExchangeTest, CollectModeOnlyQueuesAndCallsTheHandlerOnce) {
    Start(3000, 3000, COLLECT, 3);
    DeliverDatagram(AnyReply(), 500);
    DeliverDatagram(AnyReply(), 7000);
    RunFor(20000);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].event, EV_TIMEOUT);
    std::uint8_t buffer[MAX_DATAGRAM];
    EXPECT_EQ(CopyReply(1, buffer, MAX_DATAGRAM), 1);  // both replies kept for the handler
}

TEST_F(ExchangeTest, CollectModeCancel) {
    Start(3000, 3000, COLLECT, 3);
    RunFor(1000);
    CancelExchange(World().dialog);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].event, EV_CANCEL);
    EXPECT_FALSE(exchange.busy);
    EXPECT_FALSE(World().datagramSubscribed);
    EXPECT_EQ(World().display.progressPosition, 90);
}

TEST_F(ExchangeTest, DispatchModeDeliversEveryArrivalUntilTheHandlerIsDone) {
    Start(3000, 3000, DISPATCH, 3);
    DeliverDatagram(AnyReply(), 500);
    RunFor(600);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].event, EV_ARRIVAL);
    EXPECT_TRUE(exchange.busy);
    arrivalResult = 1;
    DeliverDatagram(AnyReply(), 100);
    RunFor(200);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_FALSE(exchange.busy);
    EXPECT_FALSE(World().datagramSubscribed);
    EXPECT_EQ(World().display.enabled[ExitButton], true);
    RunFor(20000);
    EXPECT_EQ(seen.size(), 2u);  // no time-out after the stop
}

TEST_F(ExchangeTest, ReplyWhileIdleIsQueuedButDeliversNothingAndIsDiscardedAtTheNextStart) {
    SubscribeDatagrams(DatagramSocket, World().dialog);
    DeliverDatagram(AnyReply());
    RunFor(100);
    EXPECT_TRUE(seen.empty());
    std::uint8_t buffer[MAX_DATAGRAM];
    EXPECT_EQ(CopyReply(0, buffer, MAX_DATAGRAM), 1);
    Start(3000, 3000, DISPATCH, 3);
    EXPECT_EQ(CopyReply(0, buffer, MAX_DATAGRAM), 0);
}

TEST_F(ExchangeTest, StartWhileRunningTakesTheExchangeOver) {
    Start(3000, 3000, DISPATCH, 3);
    RunFor(1250);  // 12 ticks in
    DeliverDatagram(AnyReply());
    RunFor(1);
    const auto timerSetsBefore = World().timerSets.size();
    const auto disablesBefore = World().display.enableLog.size();
    const std::uint64_t takeOverMs = World().nowMs;
    EXPECT_EQ(StartExchange(World().dialog, 1000, 1000, DISPATCH, 60, CMD_FIND, nullptr, Recorder), 0);
    EXPECT_EQ(World().timerSets.size(), timerSetsBefore);             // tick timer keeps its phase
    EXPECT_EQ(World().display.enableLog.size(), disablesBefore);      // controls left as they are
    EXPECT_EQ(World().sent.back().atMs, takeOverMs);                  // first request at once
    EXPECT_EQ(World().display.progressHigh, 600);
    std::uint8_t buffer[MAX_DATAGRAM];
    EXPECT_EQ(CopyReply(0, buffer, MAX_DATAGRAM), 0);  // queue emptied
    EXPECT_TRUE(exchange.busy);
}

TEST_F(ExchangeTest, StopWithNothingRunningOnlyEnablesTheControls) {
    World().display.progressPosition = 17;
    EXPECT_EQ(StopExchange(World().dialog), 0);
    EXPECT_TRUE(World().display.enabled[ExecuteButton]);
    EXPECT_EQ(World().display.progressPosition, 17);
    EXPECT_TRUE(World().timerSets.empty());
}

TEST_F(ExchangeTest, ProgressSlots) {
    exchange.progressEnd = 90;
    exchange.progressIncrement = 90;
    AdvanceProgressSlot(World().dialog);
    EXPECT_EQ(World().display.progressPosition, 90);
    EXPECT_EQ(exchange.progressEnd, 180);
}
