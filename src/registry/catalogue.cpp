// The catalogue of this build: one row, main firmware 2.03 for the KVZ-3170.
#include "registry/catalogue.h"

#include <cstring>

#include "ui/display.h"

const CatalogueEntry BuiltInCatalogue[] = {
    {"KVZ-3170 ", 52, "KVZ-3170 2.03", "2.03", 5, 0x0203, 0},
};
const int BuiltInCatalogueSize = sizeof(BuiltInCatalogue) / sizeof(BuiltInCatalogue[0]);

const CatalogueEntry* FirmwareCatalogue = BuiltInCatalogue;
int FirmwareCatalogueSize = BuiltInCatalogueSize;

static bool IdentityFits(const char* pattern, const char* identity) {
    const std::size_t n = std::strlen(pattern);
    if (n > 0 && pattern[n - 1] == '$')
        return std::strlen(identity) == n - 1 && std::strncmp(identity, pattern, n - 1) == 0;
    return std::strncmp(identity, pattern, n) == 0;
}

int MatchCatalogue(const char* identity, std::uint16_t modelCode) {
    for (int i = 0; i < FirmwareCatalogueSize; ++i) {
        const CatalogueEntry& entry = FirmwareCatalogue[i];
        const bool modelFits = entry.modelCode == 0 || entry.modelCode == modelCode;
        if (IdentityFits(entry.namePattern, identity) && modelFits) return i;
    }
    return -1;
}

int IsStationEligible(const StationRecord* station) {
    const int index = MatchCatalogue(station->identity, station->modelCode);
    if (index == -1) return 0;
    if (!(station->flags & (SF_UPDATABLE | SF_EXTENDED_REQUEST))) return 0;
    if (KindClass(FirmwareCatalogue[index].kind) == KIND_MAIN) return 1;
    return (station->flags & SF_EXTENDED_REQUEST) && station->moduleText[0] != '\0';
}

void ListEligibleStations(Window dialog) {
    ClearListLines(dialog);
    int count = 0;
    StationRecord* next = nullptr;
    for (StationRecord* station = FirstStation(); station; station = next) {
        next = station->next;
        if (IsStationEligible(station)) {
            station->listIndex = AppendListLine(dialog, station->productName);
            ++count;
        } else {
            RemoveStation(station);
        }
    }
    if (count == 0)
        ShowStatus(dialog, 6);
    else
        ShowStatusNumber(dialog, 3, count);
}
