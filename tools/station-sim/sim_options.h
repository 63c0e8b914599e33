// Command-line options of the station simulator: what each simulated station is
// and which faults it plays. Pure parsing, no sockets; needs only the wire constants.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/datagram.h"

enum RestartMode { RESTART_NEW, RESTART_OLD, RESTART_NEVER };

// One simulated station. Addresses are host-order numbers, first octet most significant.
struct StationConfig {
    std::string name;
    std::uint32_t ipAddress = 0;
    std::uint32_t netmask = 0xFFFFFF00;
    StationId stationId{};
    std::uint32_t replyVersion = 0x00010003;
    std::string productName;
    std::string identity = "KVZ-3170 2.02";
    int tailIdentity = -1;  // -1: carried as tail identity whenever the version allows
    std::uint16_t modelCode = 52;
    bool updatable = true;
    bool updating = false;
    bool extended = true;
    bool hasModule = false;
    bool freshSeed = true;  // a new seed in every discovery reply
    std::uint32_t seed = 0;
    std::string password = "admin";
    bool forceUpdateResult = false;  // else the password decides
    std::int32_t updateResult = 0;
    bool forceTransferResult = false;  // else how the upload went decides
    std::int32_t transferResult = 0;
    std::string moduleText;
    std::int32_t moduleResult = 0;
    double restartDelay = 3.0;  // seconds of silence after a transfer result of 0
    RestartMode restart = RESTART_NEW;
    std::string newIdentity = "KVZ-3170 2.03";
    // Faults.
    int dropFirst = 0;       // sendings dropped at the start of every request series
    double dropRate = 0.0;   // fraction of the remaining requests dropped at random
    int delayMs = 0;         // every reply leaves this much later
    int receiveBuffer = 0;   // SO_RCVBUF of the upload connection; 0 keeps the default
    long receiveRate = 0;    // bytes per second read from the upload; 0 unlimited
    long closeAfter = -1;    // close the upload connection after this many bytes
    long stallAfter = -1;    // stop reading the upload after this many bytes
};

struct SimOptions {
    std::vector<StationConfig> stations;
    std::uint32_t randomSeed = 1;
    bool help = false;
};

// Parses the arguments after the program name. Returns "" on success, else the
// message that explains the first bad option (out is then partly filled).
std::string ParseOptions(const std::vector<std::string>& args, SimOptions* out);

// Parses one station description "NAME,key=value,...". "" on success.
std::string ParseStationDescription(const std::string& description, StationConfig* out);

const char* HelpText();

// "192.0.2.11" and "02:00:c0:00:02:0b" forms, for the log.
std::string FormatAddress(std::uint32_t ipAddress);
std::string FormatStationId(const StationId& id);
