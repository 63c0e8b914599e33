// The firmware catalogue: which stations the carried image fits, what they must
// report afterwards, and the rule that decides which stations are listed.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "registry/station_list.h"

struct CatalogueEntry {
    const char* namePattern;  // identity prefix; a trailing "$" asks for equality
    std::uint16_t modelCode;  // 0 accepts any model code
    const char* expectedIdentity;
    const char* versionLabel;
    std::uint32_t kind;  // upper 16 bits: the kind class
    std::uint32_t versionCode;
    std::uint32_t moduleWord;
};

// Kind classes (kind >> 16).
constexpr std::uint32_t KIND_MAIN = 0;
constexpr std::uint32_t KIND_ISDN_MODULE = 1;
constexpr std::uint32_t KIND_MODEM_MODULE = 2;

constexpr std::uint32_t KindClass(std::uint32_t kind) { return kind >> 16; }

// The catalogue in use; tests may point it at another table.
extern const CatalogueEntry* FirmwareCatalogue;
extern int FirmwareCatalogueSize;
extern const CatalogueEntry BuiltInCatalogue[];
extern const int BuiltInCatalogueSize;

// Index of the first entry that fits, -1 when none does.
int MatchCatalogue(const char* identity, std::uint16_t modelCode);
int IsStationEligible(const StationRecord* station);
// Fills the station list box with the eligible stations, removes the others, and
// shows text 3 with the count or text 6.
void ListEligibleStations(Window dialog);
