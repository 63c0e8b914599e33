// Search: CMD_FIND broadcast three times in collect mode, then every reply decoded,
// then each station with a module image row asked for its module text in turn.
#include "procedures/search.h"

#include "protocol/reply_queue.h"
#include "registry/catalogue.h"
#include "registry/discovery.h"
#include "ui/display.h"

constexpr std::uint16_t MODULE_QUERY_SLOT = 90;  // ticks of one query of three sendings

int StartSearch(Window dialog) {
    ShowStatus(dialog, 4);
    return StartExchange(dialog, 3000, 3000, COLLECT, 3, CMD_FIND, nullptr, SearchHandler);
}

StationRecord* DecodeQueuedDiscoveryReplies(const StationRecord* wanted) {
    QueuedReply reply;
    int i = 0;
    while (CopyQueuedReply(i, &reply)) {
        StationRecord* station = DecodeDiscoveryReply(reply.bytes, reply.length);
        const bool removed = station && RemoveReply(i);
        if (wanted && station == wanted) return station;
        if (!removed) ++i;
    }
    return nullptr;
}

int SearchHandler(Window dialog, ExchangeEvent) {
    DecodeQueuedDiscoveryReplies(nullptr);
    return BeginModuleQuery(dialog);
}

static int CountStations() {
    int n = 0;
    for (StationRecord* s = FirstStation(); s; s = s->next) ++n;
    return n;
}

int BeginModuleQuery(Window dialog) {
    const int n = CountStations();
    exchange.retryTicks = 30;
    exchange.countdown = 30;
    exchange.progressEnd = MODULE_QUERY_SLOT;
    exchange.progressIncrement = MODULE_QUERY_SLOT;
    exchange.collect = false;
    exchange.command = CMD_MODULE_INFO;
    exchange.phaseHandler = ModuleInfoHandler;
    exchange.retriesLeft = 2;
    SetProgressRange(dialog, static_cast<std::uint16_t>(n * MODULE_QUERY_SLOT));
    exchange.progressCounter = 0;
    ShowStatus(dialog, 32);
    return QueryModules(dialog, FirstStation());
}

static bool HasModuleToAsk(const StationRecord* station, int catalogueIndex) {
    if (catalogueIndex == -1 || !(station->flags & SF_HAS_MODULE)) return false;
    const std::uint32_t kindClass = KindClass(FirmwareCatalogue[catalogueIndex].kind);
    return kindClass == KIND_ISDN_MODULE || kindClass == KIND_MODEM_MODULE;
}

int QueryModules(Window dialog, StationRecord* first) {
    for (StationRecord* s = first; s; s = s->next) {
        exchange.retriesLeft = 2;
        exchange.station = s;
        exchange.dialog = dialog;
        exchange.countdown = 30;
        exchange.catalogueIndex = MatchCatalogue(s->identity, s->modelCode);
        if (HasModuleToAsk(s, exchange.catalogueIndex)) {
            const std::uint32_t kindClass = KindClass(FirmwareCatalogue[exchange.catalogueIndex].kind);
            s->moduleSelector = kindClass == KIND_ISDN_MODULE ? 0 : 1;
            ContinueExchange(dialog);
            return 0;
        }
        AdvanceProgressSlot(dialog);
    }
    ListEligibleStations(dialog);
    return 1;
}

int NextModuleQuery(Window dialog) {
    SetControlsEnabled(dialog, true);
    AdvanceProgressSlot(dialog);
    return QueryModules(dialog, exchange.station);
}

// Position of the current station's module answer with result 0 or -1, or -1.
static int FindModuleAnswer(QueuedReply* reply) {
    for (int i = 0; CopyQueuedReply(i, reply); ++i) {
        const DatagramHeader& h = reply->header;
        if (h.commandWord != REPLY_MODULE_INFO || h.sourceId != exchange.station->stationId) continue;
        if (h.resultCode == RESULT_OK || h.resultCode == RESULT_FAILED) return i;
    }
    return -1;
}

int ModuleInfoHandler(Window dialog, ExchangeEvent event) {
    if (event == EV_CANCEL) {
        SetControlsEnabled(dialog, true);
        SetProgressRange(dialog, 1);
        SetProgressPosition(dialog, 1);
        ListEligibleStations(dialog);
        return 1;
    }
    QueuedReply reply;
    if (FindModuleAnswer(&reply) != -1) {
        StationRecord* station = exchange.station;
        exchange.station = station->next;
        if (reply.header.resultCode == RESULT_OK)
            StoreModuleText(station, reply);
        else
            RemoveStation(station);
        return NextModuleQuery(dialog);
    }
    if (event == EV_ARRIVAL) return 0;
    AdvanceProgressSlot(dialog);
    return QueryModules(dialog, exchange.station->next);
}
