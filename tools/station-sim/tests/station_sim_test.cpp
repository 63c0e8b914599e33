// Unit tests of the station simulator's logic that need no sockets: options,
// reply layout, the password check, the drop rule and the image checks.
#include <gtest/gtest.h>

#include <cstring>

#include "image_check.h"
#include "protocol/bytes.h"
#include "protocol/scramble.h"
#include "registry/discovery.h"
#include "sim_options.h"
#include "station_logic.h"

namespace {

StationConfig Station(const std::string& description) {
    StationConfig config;
    std::string error = ParseStationDescription(description, &config);
    EXPECT_EQ(error, "") << description;
    return config;
}

const StationId kUtility = {0x00, 0x16, 0x3e, 0x01, 0x02, 0x03};

// An update request as the utility builds it.
std::vector<std::uint8_t> UpdateRequest(bool extended, const StationId& to, std::uint32_t size,
                                        const char* password, std::uint32_t seed) {
    std::vector<std::uint8_t> d(extended ? UPDATE_REQUEST_EX_LENGTH : UPDATE_REQUEST_LENGTH, 0);
    WriteU16(&d[OFFSET_HEADER_LENGTH], HEADER_LENGTH);
    WriteU32(&d[OFFSET_PROTOCOL_VERSION], PROTOCOL_VERSION);
    WriteU16(&d[OFFSET_COMMAND_WORD], extended ? CMD_UPDATE_REQUEST_EX : CMD_UPDATE_REQUEST);
    WriteU16(&d[OFFSET_PAYLOAD_LENGTH], static_cast<std::uint16_t>(d.size() - HEADER_LENGTH));
    std::memcpy(&d[OFFSET_SOURCE_ID], kUtility.data(), 6);
    std::memcpy(&d[OFFSET_DESTINATION_ID], to.data(), 6);
    WriteU32(&d[OFFSET_IMAGE_SIZE], size);
    char field[9] = {};
    std::strncpy(field, password, 8);
    std::uint8_t scrambled[8];
    ScrambleSecret(scrambled, field, seed);
    if (extended) {
        WriteU32(&d[OFFSET_KIND], 5);
        WriteU32(&d[OFFSET_VERSION_CODE], 0x0203);
    }
    std::memcpy(&d[extended ? OFFSET_SCRAMBLED_PASSWORD_EX : OFFSET_SCRAMBLED_PASSWORD], scrambled, 8);
    return d;
}

std::vector<std::uint8_t> Find(const StationId& to) {
    std::vector<std::uint8_t> d(HEADER_LENGTH, 0);
    WriteU16(&d[OFFSET_HEADER_LENGTH], HEADER_LENGTH);
    WriteU32(&d[OFFSET_PROTOCOL_VERSION], PROTOCOL_VERSION);
    WriteU16(&d[OFFSET_COMMAND_WORD], CMD_FIND);
    std::memcpy(&d[OFFSET_SOURCE_ID], kUtility.data(), 6);
    std::memcpy(&d[OFFSET_DESTINATION_ID], to.data(), 6);
    return d;
}

StationRequest Read(const std::vector<std::uint8_t>& d) {
    return ReadStationRequest(d.data(), static_cast<int>(d.size()));
}

}  // namespace

TEST(StationOptions, BadDescriptionsAreRejectedWithTheReason) {
    struct Case {
        const char* description;
        const char* expected;
    } cases[] = {
        {"st1", "ip= is required"},
        {",ip=192.0.2.11", "must start with a name"},
        {"st1,ip=192.0.2.256", "bad value '192.0.2.256' for ip"},
        {"st1,ip=192.0.2", "for ip"},
        {"st1,ip=192.0.2.11,id=02:00:00:00:11", "for id"},
        {"st1,ip=192.0.2.11,id=ff:ff:ff:ff:ff:ff", "broadcast id"},
        {"st1,ip=192.0.2.11,version=0x10004", "0x10000 to 0x10003"},
        {"st1,ip=192.0.2.11,version=0xffff", "0x10000 to 0x10003"},
        {"st1,ip=192.0.2.11,model=65536", "for model"},
        {"st1,ip=192.0.2.11,model=-1", "for model"},
        {"st1,ip=192.0.2.11,password=123456789", "at most 8"},
        {"st1,ip=192.0.2.11,product=123456789012345678901234567890123", "at most 32"},
        {"st1,ip=192.0.2.11,update-result=maybe", "for update-result"},
        {"st1,ip=192.0.2.11,restart=later", "new, old or never"},
        {"st1,ip=192.0.2.11,drop-rate=1.5", "for drop-rate"},
        {"st1,ip=192.0.2.11,rate=0", "for rate"},
        {"st1,ip=192.0.2.11,colour=red", "unknown key 'colour'"},
        {"st1,ip=192.0.2.11,model", "is not key=value"},
        {"st1,ip=192.0.2.11,ip=192.0.2.12", "ip given twice"},
        {"st1,ip=192.0.2.11,close-after=10,stall-after=10", "exclude each other"},
    };
    for (const Case& c : cases) {
        StationConfig config;
        std::string error = ParseStationDescription(c.description, &config);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.description << " gave: " << error;
    }
}

TEST(StationOptions, ValuesAndDefaults) {
    StationConfig s = Station("st1,ip=192.0.2.11,identity=KVZ-3170 2.02,update-result=0x80000005,"
                              "transfer-result=-2,seed=0x1234,updating=1");
    EXPECT_EQ(s.ipAddress, 0xC000020Bu);
    EXPECT_EQ(FormatStationId(s.stationId), "02:00:c0:00:02:0b");
    EXPECT_EQ(s.productName, "LuminaGate st1");
    EXPECT_EQ(s.identity, "KVZ-3170 2.02");
    EXPECT_TRUE(s.forceUpdateResult);
    EXPECT_EQ(static_cast<std::uint32_t>(s.updateResult), 0x80000005u);
    EXPECT_EQ(s.transferResult, -2);
    EXPECT_FALSE(s.freshSeed);
    EXPECT_EQ(s.seed, 0x1234u);
    EXPECT_TRUE(s.updating);
}

TEST(StationOptions, CommandLine) {
    struct Case {
        std::vector<std::string> args;
        const char* expected;  // "" for success
    } cases[] = {
        {{}, "no station given"},
        {{"--station"}, "needs a value"},
        {{"--bogus"}, "unknown argument"},
        {{"--station", "a,ip=192.0.2.11", "--station", "a,ip=192.0.2.12"}, "name 'a' used twice"},
        {{"--station", "a,ip=192.0.2.11", "--station", "b,ip=192.0.2.11"}, "address 192.0.2.11 used twice"},
        {{"--station", "a,ip=192.0.2.11,id=02:00:00:00:00:01", "--station", "b,ip=192.0.2.12,id=02:00:00:00:00:01"},
         "used twice"},
        {{"--random-seed", "x", "--station", "a,ip=192.0.2.11"}, "--random-seed"},
        {{"--station", "a,ip=192.0.2.11", "--station", "b,ip=192.0.2.12"}, ""},
        {{"--help"}, ""},
    };
    for (const Case& c : cases) {
        SimOptions options;
        std::string error = ParseOptions(c.args, &options);
        if (*c.expected == '\0')
            EXPECT_EQ(error, "");
        else
            EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST(StationReplies, DiscoveryReplyLayoutFollowsTheVersion) {
    struct Case {
        const char* version;
        std::size_t fixedPayload;
        bool tail;
        bool modelCode;
    } cases[] = {
        {"0x10000", 96, false, false},
        {"0x10001", 132, true, false},
        {"0x10002", 156, true, true},
        {"0x10003", 156, true, true},
    };
    const std::string identity = "KVZ-3170 2.02 build 77";  // longer than the 16-byte field
    for (const Case& c : cases) {
        StationConfig s = Station(std::string("st1,ip=192.0.2.11,netmask=255.255.0.0,version=") + c.version +
                                  ",model=52,updating=1,module=1");
        std::vector<std::uint8_t> d = BuildDiscoveryReply(s, identity, 0xA1B2C3D4, kUtility);
        const std::uint8_t* p = d.data() + HEADER_LENGTH;
        std::size_t payload = ReadU16(&d[OFFSET_PAYLOAD_LENGTH]);
        SCOPED_TRACE(c.version);
        EXPECT_EQ(ReadU16(&d[OFFSET_HEADER_LENGTH]) + payload, d.size());
        EXPECT_EQ(ReadU32(&d[OFFSET_PROTOCOL_VERSION]), s.replyVersion);
        EXPECT_EQ(ReadU16(&d[OFFSET_COMMAND_WORD]), 0xC03F);
        EXPECT_EQ(0, std::memcmp(&d[OFFSET_SOURCE_ID], s.stationId.data(), 6));
        EXPECT_EQ(0, std::memcmp(&d[OFFSET_DESTINATION_ID], kUtility.data(), 6));
        EXPECT_EQ(ReadU32(p + PAYLOAD_IP_ADDRESS), 0xC000020Bu);
        EXPECT_EQ(ReadU32(p + PAYLOAD_NETMASK), 0xFFFF0000u);
        EXPECT_EQ(ReadU16(p + PAYLOAD_STATUS_WORD), STATUS_UPDATABLE | STATUS_UPDATING | STATUS_EXTENDED_REQUEST |
                                                          STATUS_HAS_MODULE);
        EXPECT_EQ(ReadU32(p + PAYLOAD_SEED), 0xA1B2C3D4u);
        EXPECT_STREQ(reinterpret_cast<const char*>(p + PAYLOAD_PRODUCT_NAME), "LuminaGate st1");
        EXPECT_EQ(0, std::memcmp(p + PAYLOAD_SHORT_IDENTITY, identity.data(), SHORT_IDENTITY_FIELD));
        if (c.tail) {
            EXPECT_EQ(payload, c.fixedPayload + identity.size() + 1);
            std::uint16_t back = ReadU16(p + PAYLOAD_IDENTITY_BACK_OFFSET);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + payload - back)), identity);
        } else {
            EXPECT_EQ(payload, c.fixedPayload);
        }
        if (c.modelCode) {
            EXPECT_EQ(ReadU16(p + PAYLOAD_MODEL_CODE), 52);
        }
    }
}

TEST(StationReplies, TailCanBeSwitchedOff) {
    StationConfig s = Station("st1,ip=192.0.2.11,tail=0");
    std::vector<std::uint8_t> d = BuildDiscoveryReply(s, "KVZ-3170 2.02", 1, kUtility);
    EXPECT_EQ(d.size(), HEADER_LENGTH + 156u);
    EXPECT_EQ(ReadU16(d.data() + HEADER_LENGTH + PAYLOAD_IDENTITY_BACK_OFFSET), 0);
}

TEST(StationReplies, ResultReplyCarriesCodeAndStationVersion) {
    StationConfig s = Station("st1,ip=192.0.2.11,version=0x10001");
    std::vector<std::uint8_t> d = BuildReply(s, REPLY_TRANSFER_RESULT, kUtility, RESULT_BAD_PASSWORD, {});
    ASSERT_EQ(d.size(), 32u);
    EXPECT_EQ(ReadU16(&d[OFFSET_COMMAND_WORD]), 0xC53A);
    EXPECT_EQ(ReadU32(&d[OFFSET_PROTOCOL_VERSION]), 0x10001u);
    EXPECT_EQ(ReadU32(&d[OFFSET_RESULT_CODE]), 0x80000001u);
}

TEST(StationRequests, OnlyWellFormedRequestsAreTaken) {
    StationId station = {0x02, 0x00, 0xc0, 0x00, 0x02, 0x0b};
    std::vector<std::uint8_t> find = Find(BROADCAST_STATION_ID);
    EXPECT_TRUE(Read(find).valid);
    EXPECT_TRUE(IsAddressedTo(Read(find), station));
    EXPECT_TRUE(IsAddressedTo(Read(Find(station)), station));
    StationId other = station;
    other[5] ^= 1;
    EXPECT_FALSE(IsAddressedTo(Read(Find(other)), station));

    std::vector<std::uint8_t> reply = find;
    WriteU16(&reply[OFFSET_COMMAND_WORD], 0xC03F);  // a reply, e.g. another station's answer
    EXPECT_FALSE(Read(reply).valid);
    std::vector<std::uint8_t> longer = find;
    longer.push_back(0);  // payload length says 0
    EXPECT_FALSE(Read(longer).valid);
    std::vector<std::uint8_t> old = find;
    WriteU32(&old[OFFSET_PROTOCOL_VERSION], 0xFFFF);
    EXPECT_FALSE(Read(old).valid);
}

TEST(StationRequests, UpdateRequestDecisions) {
    const StationConfig plain = Station("st1,ip=192.0.2.11,password=secret,extended=0");
    const StationConfig ext = Station("st1,ip=192.0.2.11,password=secret");
    const StationConfig refuses = Station("st1,ip=192.0.2.11,password=secret,update-result=failed");
    const std::uint32_t seed = 0x5A17C0DE;
    struct Case {
        const char* what;
        const StationConfig& station;
        bool extended;
        const char* typed;
        std::uint32_t seedUsed;
        std::uint32_t size;
        bool understood;
        std::int32_t result;
    } cases[] = {
        {"plain, right password", plain, false, "secret", seed, 885240, true, RESULT_OK},
        {"extended, right password", ext, true, "secret", seed, 885240, true, RESULT_OK},
        {"plain request to an extended station", ext, false, "secret", seed, 885240, true, RESULT_OK},
        {"wrong password", ext, true, "secreT", seed, 885240, true, RESULT_BAD_PASSWORD},
        {"password scrambled with an older seed", ext, true, "secret", seed + 1, 885240, true, RESULT_BAD_PASSWORD},
        {"empty image", ext, true, "secret", seed, 0, true, RESULT_FAILED},
        {"forced result", refuses, true, "secret", seed, 885240, true, RESULT_FAILED},
        {"extended request to a plain station", plain, true, "secret", seed, 885240, false, 0},
    };
    for (const Case& c : cases) {
        StationRequest request = Read(UpdateRequest(c.extended, c.station.stationId, c.size, c.typed, c.seedUsed));
        ASSERT_TRUE(request.valid) << c.what;
        UpdateDecision d = DecideUpdateRequest(c.station, seed, request);
        EXPECT_EQ(d.understood, c.understood) << c.what;
        if (d.understood) {
            EXPECT_EQ(d.result, c.result) << c.what << ": " << d.detail;
            EXPECT_EQ(d.imageSize, c.size) << c.what;
        }
    }
}

TEST(StationRequests, UpdateRequestOfWrongLengthIsIgnored) {
    StationConfig s = Station("st1,ip=192.0.2.11");
    std::vector<std::uint8_t> d = UpdateRequest(false, s.stationId, 885240, "admin", 7);
    d.resize(40);
    WriteU16(&d[OFFSET_PAYLOAD_LENGTH], 8);
    StationRequest request = Read(d);
    ASSERT_TRUE(request.valid);
    EXPECT_FALSE(DecideUpdateRequest(s, 7, request).understood);
}

TEST(StationRequests, EmptyPasswordMatchesEightZeroBytesScrambled) {
    std::uint8_t zeros[8] = {};
    EXPECT_TRUE(PasswordMatches("", 0, zeros));
    EXPECT_FALSE(PasswordMatches("a", 0, zeros));
}

TEST(SeriesDropper, DropsTheFirstSendingsOfEachSeries) {
    SeriesDropper dropper;
    dropper.dropFirst = 2;
    StationId station = {0x02, 0, 0, 0, 0, 0x11};
    StationRequest all = Read(Find(BROADCAST_STATION_ID));
    StationRequest one = Read(Find(station));
    struct Step {
        const StationRequest& request;
        double time;
        bool dropped;
    } steps[] = {
        {all, 0.0, true},  {all, 3.1, true},  {all, 6.2, false},  // search: the third is answered
        {one, 20.0, true}, {one, 23.1, true}, {one, 26.2, false}, // re-find is a new series
        {one, 40.0, true},                                        // the same request after a long gap
        {one, 41.1, true}, {one, 42.2, false}, {one, 43.3, false},
    };
    for (const Step& s : steps) EXPECT_EQ(dropper.Drop(s.request, s.time), s.dropped) << "at " << s.time;
}

TEST(ImageCheck, KnownDigests) {
    struct Case {
        std::string input;
        const char* sha256;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Sha256Hex(reinterpret_cast<const std::uint8_t*>(c.input.data()), c.input.size()), c.sha256)
            << c.input.size() << " bytes";
    EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(ImageCheck, StandInImageVerdicts) {
    std::vector<std::uint8_t> image(4096);
    std::memcpy(image.data(), STAND_IN_MAGIC, 8);
    for (std::size_t i = 8; i < image.size() - 4; ++i) image[i] = static_cast<std::uint8_t>(i * 31);
    WriteU32(&image[image.size() - 4], Crc32(image.data(), image.size() - 4));
    const std::uint32_t size = static_cast<std::uint32_t>(image.size());

    EXPECT_TRUE(CheckReceivedImage(image, size).whole);
    std::vector<std::uint8_t> flipped = image;
    flipped[2000] ^= 0x10;
    EXPECT_FALSE(CheckReceivedImage(flipped, size).whole);
    std::vector<std::uint8_t> shorter(image.begin(), image.end() - 1);
    EXPECT_FALSE(CheckReceivedImage(shorter, size).whole);
    EXPECT_FALSE(CheckReceivedImage(image, size + 1).whole);
    std::vector<std::uint8_t> foreign(100, 0x42);  // no magic: only the length counts
    EXPECT_TRUE(CheckReceivedImage(foreign, 100).whole);
}
