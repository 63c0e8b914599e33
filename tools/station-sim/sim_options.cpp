// Parsing of the station simulator's options into StationConfig records.
// Errors are returned as text; the caller prints them and exits with status 2.
#include "sim_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

bool ParseUnsigned(const std::string& text, std::uint64_t limit, std::uint64_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > limit) return false;
    *value = v;
    return true;
}

// A result code: a name, a signed decimal number, or any 32-bit hexadecimal value.
bool ParseResultCode(const std::string& text, std::int32_t* value) {
    if (text == "ok") {
        *value = RESULT_OK;
        return true;
    }
    if (text == "failed" || text == "refused") {
        *value = RESULT_FAILED;
        return true;
    }
    if (text == "bad-password") {
        *value = RESULT_BAD_PASSWORD;
        return true;
    }
    if (!text.empty() && text[0] == '-') {
        std::uint64_t magnitude = 0;
        if (!ParseUnsigned(text.substr(1), 0x80000000u, &magnitude)) return false;
        *value = static_cast<std::int32_t>(static_cast<std::int64_t>(-static_cast<std::int64_t>(magnitude)));
        return true;
    }
    std::uint64_t v = 0;
    if (!ParseUnsigned(text, 0xFFFFFFFFu, &v)) return false;
    *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return true;
}

bool ParseBool(const std::string& text, bool* value) {
    if (text == "1" || text == "yes" || text == "on") {
        *value = true;
        return true;
    }
    if (text == "0" || text == "no" || text == "off") {
        *value = false;
        return true;
    }
    return false;
}

bool ParseIpv4(const std::string& text, std::uint32_t* value) {
    unsigned a, b, c, d;
    char extra;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &extra) != 4) return false;
    if (a > 255 || b > 255 || c > 255 || d > 255) return false;
    *value = (a << 24) | (b << 16) | (c << 8) | d;
    return true;
}

bool ParseStationIdText(const std::string& text, StationId* id) {
    unsigned b[6];
    char extra;
    if (text.size() != 17) return false;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5],
                    &extra) != 6)
        return false;
    for (int i = 0; i < 6; ++i) (*id)[i] = static_cast<std::uint8_t>(b[i]);
    return true;
}

bool ParseSeconds(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(v >= 0.0) || v > 86400.0) return false;
    *value = v;
    return true;
}

std::string Bad(const std::string& station, const std::string& key, const std::string& value,
                const char* expected) {
    return "station '" + station + "': bad value '" + value + "' for " + key + " (expected " + expected + ")";
}

}  // namespace

std::string FormatAddress(std::uint32_t ipAddress) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ipAddress >> 24, (ipAddress >> 16) & 0xFF,
                  (ipAddress >> 8) & 0xFF, ipAddress & 0xFF);
    return text;
}

std::string FormatStationId(const StationId& id) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", id[0], id[1], id[2], id[3], id[4], id[5]);
    return text;
}

std::string ParseStationDescription(const std::string& description, StationConfig* out) {
    StationConfig config;
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = description.find(',', start);
        items.push_back(description.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    config.name = items[0];
    if (config.name.empty() || config.name.find('=') != std::string::npos)
        return "station description '" + description + "' must start with a name";

    bool haveIp = false, haveId = false;
    std::set<std::string> seen;
    for (std::size_t i = 1; i < items.size(); ++i) {
        const std::string& item = items[i];
        std::size_t eq = item.find('=');
        if (eq == std::string::npos || eq == 0)
            return "station '" + config.name + "': '" + item + "' is not key=value";
        std::string key = item.substr(0, eq), value = item.substr(eq + 1);
        if (!seen.insert(key).second) return "station '" + config.name + "': " + key + " given twice";
        std::uint64_t n = 0;
        if (key == "ip") {
            if (!ParseIpv4(value, &config.ipAddress)) return Bad(config.name, key, value, "a dotted IPv4 address");
            haveIp = true;
        } else if (key == "netmask") {
            if (!ParseIpv4(value, &config.netmask)) return Bad(config.name, key, value, "a dotted IPv4 netmask");
        } else if (key == "id") {
            if (!ParseStationIdText(value, &config.stationId))
                return Bad(config.name, key, value, "six hex bytes like 02:00:00:00:00:11");
            haveId = true;
        } else if (key == "version") {
            if (!ParseUnsigned(value, 0xFFFFFFFFu, &n) || n < 0x10000 || n > 0x10003)
                return Bad(config.name, key, value, "0x10000 to 0x10003");
            config.replyVersion = static_cast<std::uint32_t>(n);
        } else if (key == "product") {
            if (value.size() > 32) return Bad(config.name, key, value, "at most 32 bytes");
            config.productName = value;
        } else if (key == "identity" || key == "new-identity") {
            if (value.size() > 255) return Bad(config.name, key, value, "at most 255 bytes");
            (key == "identity" ? config.identity : config.newIdentity) = value;
        } else if (key == "tail") {
            bool b = false;
            if (!ParseBool(value, &b)) return Bad(config.name, key, value, "0 or 1");
            config.tailIdentity = b ? 1 : 0;
        } else if (key == "model") {
            if (!ParseUnsigned(value, 0xFFFF, &n)) return Bad(config.name, key, value, "0 to 65535");
            config.modelCode = static_cast<std::uint16_t>(n);
        } else if (key == "updatable" || key == "updating" || key == "extended" || key == "module") {
            bool b = false;
            if (!ParseBool(value, &b)) return Bad(config.name, key, value, "0 or 1");
            (key == "updatable" ? config.updatable
             : key == "updating" ? config.updating
             : key == "extended" ? config.extended
                                 : config.hasModule) = b;
        } else if (key == "seed") {
            if (value == "fresh") {
                config.freshSeed = true;
            } else {
                if (!ParseUnsigned(value, 0xFFFFFFFFu, &n))
                    return Bad(config.name, key, value, "'fresh' or a 32-bit number");
                config.freshSeed = false;
                config.seed = static_cast<std::uint32_t>(n);
            }
        } else if (key == "password") {
            if (value.size() > 8) return Bad(config.name, key, value, "at most 8 characters");
            config.password = value;
        } else if (key == "update-result" || key == "transfer-result") {
            std::int32_t code = 0;
            if (value == "auto") {
                (key == "update-result" ? config.forceUpdateResult : config.forceTransferResult) = false;
            } else if (ParseResultCode(value, &code)) {
                if (key == "update-result") {
                    config.forceUpdateResult = true;
                    config.updateResult = code;
                } else {
                    config.forceTransferResult = true;
                    config.transferResult = code;
                }
            } else {
                return Bad(config.name, key, value, "auto, ok, failed, bad-password or a 32-bit code");
            }
        } else if (key == "module-text") {
            if (value.size() > 255) return Bad(config.name, key, value, "at most 255 bytes");
            config.moduleText = value;
            config.hasModule = true;
        } else if (key == "module-result") {
            if (value == "ok" || value == "0")
                config.moduleResult = RESULT_OK;
            else if (value == "failed" || value == "-1")
                config.moduleResult = RESULT_FAILED;
            else
                return Bad(config.name, key, value, "0 or -1");
        } else if (key == "restart-delay") {
            if (!ParseSeconds(value, &config.restartDelay)) return Bad(config.name, key, value, "seconds");
        } else if (key == "restart") {
            if (value == "new")
                config.restart = RESTART_NEW;
            else if (value == "old")
                config.restart = RESTART_OLD;
            else if (value == "never")
                config.restart = RESTART_NEVER;
            else
                return Bad(config.name, key, value, "new, old or never");
        } else if (key == "drop-first") {
            if (!ParseUnsigned(value, 1000, &n)) return Bad(config.name, key, value, "0 to 1000");
            config.dropFirst = static_cast<int>(n);
        } else if (key == "drop-rate") {
            double rate = 0;
            if (!ParseSeconds(value, &rate) || rate > 1.0) return Bad(config.name, key, value, "0 to 1");
            config.dropRate = rate;
        } else if (key == "delay") {
            if (!ParseUnsigned(value, 60000, &n)) return Bad(config.name, key, value, "milliseconds, 0 to 60000");
            config.delayMs = static_cast<int>(n);
        } else if (key == "rcvbuf") {
            if (!ParseUnsigned(value, 16u << 20, &n)) return Bad(config.name, key, value, "bytes");
            config.receiveBuffer = static_cast<int>(n);
        } else if (key == "rate") {
            if (!ParseUnsigned(value, 1u << 30, &n) || n == 0) return Bad(config.name, key, value, "bytes per second");
            config.receiveRate = static_cast<long>(n);
        } else if (key == "close-after" || key == "stall-after") {
            if (!ParseUnsigned(value, 1u << 30, &n)) return Bad(config.name, key, value, "a byte count");
            (key == "close-after" ? config.closeAfter : config.stallAfter) = static_cast<long>(n);
        } else {
            return "station '" + config.name + "': unknown key '" + key + "'";
        }
    }
    if (!haveIp) return "station '" + config.name + "': ip= is required";
    if (!haveId) {
        // Locally administered address made of the IPv4 address.
        config.stationId = {0x02, 0x00, static_cast<std::uint8_t>(config.ipAddress >> 24),
                            static_cast<std::uint8_t>(config.ipAddress >> 16),
                            static_cast<std::uint8_t>(config.ipAddress >> 8),
                            static_cast<std::uint8_t>(config.ipAddress)};
    }
    if (config.stationId == BROADCAST_STATION_ID)
        return "station '" + config.name + "': id must not be the broadcast id";
    if (config.productName.empty()) config.productName = "LuminaGate " + config.name;
    if (config.productName.size() > 32) return "station '" + config.name + "': product name longer than 32 bytes";
    if (config.closeAfter >= 0 && config.stallAfter >= 0)
        return "station '" + config.name + "': close-after and stall-after exclude each other";
    *out = config;
    return "";
}

std::string ParseOptions(const std::vector<std::string>& args, SimOptions* out) {
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--station" || arg == "--random-seed") {
            if (i + 1 >= args.size()) return arg + " needs a value";
            const std::string& value = args[++i];
            if (arg == "--station") {
                StationConfig station;
                std::string error = ParseStationDescription(value, &station);
                if (!error.empty()) return error;
                options.stations.push_back(station);
            } else {
                std::uint64_t n = 0;
                if (!ParseUnsigned(value, 0xFFFFFFFFu, &n)) return "bad value '" + value + "' for --random-seed";
                options.randomSeed = static_cast<std::uint32_t>(n);
            }
        } else {
            return "unknown argument '" + arg + "'";
        }
    }
    if (options.help) {
        *out = options;
        return "";
    }
    if (options.stations.empty()) return "no station given (use --station NAME,ip=ADDRESS,...)";
    std::set<std::string> names;
    std::set<std::uint32_t> addresses;
    std::set<StationId> ids;
    for (const StationConfig& s : options.stations) {
        if (!names.insert(s.name).second) return "station name '" + s.name + "' used twice";
        if (!addresses.insert(s.ipAddress).second) return "address " + FormatAddress(s.ipAddress) + " used twice";
        if (!ids.insert(s.stationId).second) return "station id " + FormatStationId(s.stationId) + " used twice";
    }
    *out = options;
    return "";
}

const char* HelpText() {
    return R"(Usage: station-sim [--random-seed N] --station DESCRIPTION [--station DESCRIPTION ...]

Plays one or more KVZ-3170 access points on UDP and TCP port 22359, each on its
own IPv4 address (the address must already be configured on an interface of this
host). Runs until SIGINT or SIGTERM. One log line per event goes to stderr.

A DESCRIPTION is NAME followed by comma-separated key=value items (values cannot contain
commas; quote the whole DESCRIPTION for the shell when a value has blanks):

  ip=A.B.C.D            address of the station (required)
  netmask=A.B.C.D       reported netmask                    [255.255.255.0]
  id=XX:XX:XX:XX:XX:XX  station id                          [02:00 + the address]
  version=V             reply version 0x10000..0x10003      [0x10003]
  product=TEXT          product name, at most 32 bytes      [LuminaGate NAME]
  identity=TEXT         identity before the update          [KVZ-3170 2.02]
  tail=0|1              also carry the identity at the payload's tail
                        (version 0x10001 on)                [1]
  model=N               model code (version 0x10002 on)     [52]
  updatable=0|1         status bit 8                        [1]
  updating=0|1          status bit 9, an update in progress [0]
  extended=0|1          status bit 10, takes the extended update request [1]
  module=0|1            status bit 11, has an extension module [0]
  seed=fresh|N          seed announced in discovery replies [fresh]
  password=TEXT         administrator password, at most 8   [admin]
  update-result=R       answer to every update request: auto (the password
                        decides: 0 or 0x80000001), ok, failed (-1),
                        bad-password, or any 32-bit code    [auto]
  transfer-result=R     answer to the transfer-result request: auto (0 when
                        the image arrived whole and checked, else -1) or a code
                                                            [auto]
  module-text=TEXT      module text answered to module-info requests (sets module=1)
  module-result=0|-1    result code of the module answer    [0]
  restart-delay=S       seconds of silence after a transfer result of 0 [3]
  restart=new|old|never identity once running again         [new]
  new-identity=TEXT     identity after the restart          [KVZ-3170 2.03]

Faults:
  drop-first=K          ignore the first K sendings of every request series (a
                        series: the same request repeated less than 5 s apart)
  drop-rate=F           ignore this fraction of the other requests (seeded by
                        --random-seed, reproducible)
  delay=MS              send every reply MS milliseconds late
  rcvbuf=BYTES          receive buffer (SO_RCVBUF) of the upload connection
  rate=BYTES            read at most BYTES per second from the upload
  close-after=BYTES     close the upload connection after BYTES
  stall-after=BYTES     stop reading the upload after BYTES, keep it open

The image is taken until the sender shuts its side down; its length is checked
against the update request's size and, for the stand-in image (magic LGFWIMG1),
its CRC-32 trailer. The log gives its SHA-256.

Exit status: 0 after a signal, 1 when a socket cannot be opened, 2 for bad options.
)";
}
