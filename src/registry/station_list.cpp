// The StationList: one head reference, records linked through `next`.
#include "registry/station_list.h"

#include <new>

static StationRecord* stationHead = nullptr;

StationRecord* AppendStation() {
    auto* record = new (std::nothrow) StationRecord{};
    if (!record) return nullptr;
    StationRecord** link = &stationHead;
    while (*link) link = &(*link)->next;
    *link = record;
    return record;
}

StationRecord* FirstStation() { return stationHead; }

StationRecord* FindStation(const StationId& stationId) {
    for (StationRecord* s = stationHead; s; s = s->next)
        if (s->stationId == stationId) return s;
    return nullptr;
}

int RemoveStation(StationRecord* station) {
    for (StationRecord** link = &stationHead; *link; link = &(*link)->next) {
        if (*link == station) {
            *link = station->next;
            delete station;
            return 1;
        }
    }
    return 0;
}

int RemoveAllStations() {
    while (stationHead) RemoveStation(stationHead);
    return 1;
}
