// The station side of the wire format: reading requests, building replies, the
// password check and the series-based drop rule. No sockets; used by the event loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/datagram.h"
#include "protocol/requests.h"
#include "sim_options.h"

constexpr int UPDATE_REQUEST_LENGTH = HEADER_LENGTH + UPDATE_REQUEST_PAYLOAD;
constexpr int UPDATE_REQUEST_EX_LENGTH = HEADER_LENGTH + UPDATE_REQUEST_EX_PAYLOAD;

// A request as a station sees it. valid is false for anything that is not a
// well-formed request (lengths disagree, a reply word, an old protocol version).
struct StationRequest {
    bool valid = false;
    std::string reason;  // why it is not valid
    CommandWord commandWord = 0;
    std::uint32_t protocolVersion = 0;
    StationId sourceId{};
    StationId destinationId{};
    std::vector<std::uint8_t> payload;
};

StationRequest ReadStationRequest(const std::uint8_t* datagram, int length);

// True when the request names this station: destination broadcast or its own id.
bool IsAddressedTo(const StationRequest& request, const StationId& station);

// A reply header with the station's version and the requester as destination,
// followed by payload.
std::vector<std::uint8_t> BuildReply(const StationConfig& station, CommandWord replyWord,
                                     const StationId& requester, std::int32_t resultCode,
                                     const std::vector<std::uint8_t>& payload);

// The discovery reply (0xC03F) with the given identity and seed; the payload's
// extent follows the station's reply version.
std::vector<std::uint8_t> BuildDiscoveryReply(const StationConfig& station, const std::string& identity,
                                              std::uint32_t seed, const StationId& requester);

// The password check of an update request: the scrambled bytes of the configured
// password with the seed last announced equal the eight bytes the request carries.
bool PasswordMatches(const std::string& password, std::uint32_t seed, const std::uint8_t scrambled[8]);

struct UpdateDecision {
    bool understood;     // false: wrong length or a request this station does not take
    std::int32_t result;
    std::uint32_t imageSize;
    std::string detail;  // for the log
};

// What the station answers to CMD_UPDATE_REQUEST or CMD_UPDATE_REQUEST_EX.
UpdateDecision DecideUpdateRequest(const StationConfig& station, std::uint32_t lastSeed,
                                   const StationRequest& request);

// Drops the first K sendings of every request series: the same command word,
// destination and payload repeated with gaps of less than SERIES_GAP seconds.
constexpr double SERIES_GAP = 5.0;
struct SeriesDropper {
    int dropFirst = 0;
    std::vector<std::uint8_t> lastKey;
    double lastTime = -1e9;
    int position = 0;  // 1 for the first sending of the current series
    // Counts the request into its series; true when it is to be dropped.
    bool Drop(const StationRequest& request, double now);
};

const char* CommandName(CommandWord word);
