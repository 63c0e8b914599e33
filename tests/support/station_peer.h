// A scriptable station on the fake network: answers finds, update requests, the
// transfer result and module queries, takes the upload, restarts; every behaviour
// can be changed per test ("silent twice, then answers", "accepts 700 bytes").
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/fake/fake_world.h"
#include "support/packets.h"

struct StationPeer : FakePeer {
    StationId id = MakeStationId(0x11);
    DiscoveryReply discovery;  // what it reports to a find
    std::string password = "secret";
    std::uint64_t replyDelayMs = 5;

    // Answers: a fixed code, or (when unset) the natural one.
    bool fixedUpdateResult = false;
    std::int32_t updateResult = RESULT_OK;
    bool fixedTransferResult = false;
    std::int32_t transferResult = RESULT_OK;
    std::string moduleText;
    std::int32_t moduleResult = RESULT_OK;
    std::map<CommandWord, int> silentFor;  // sendings of a request to ignore first
    bool gone = false;                     // answers nothing at all

    // Restart after a successful transfer result.
    bool restarts = true;
    std::uint64_t restartMs = 5000;
    std::string identityAfterRestart = "KVZ-3170 2.03";
    std::string moduleTextAfterRestart;

    // Upload connection.
    bool acceptConnection = true;
    bool answerConnection = true;
    int maxPerSend = 0;        // 0: whole chunk
    int blockEveryNth = 0;     // every nth send would block first
    long closeAfterBytes = -1;
    long stallAfterBytes = -1;
    std::uint64_t writeReadyDelayMs = 0;  // slows the upload down

    // What it saw.
    std::vector<SentDatagram> requests;  // addressed to it (or broadcast)
    std::map<CommandWord, int> received;
    std::vector<std::uint8_t> image;
    bool imageShutdown = false;

    std::uint32_t Address() const override { return discovery.ipAddress; }
    void OnDatagram(const SentDatagram& datagram) override;
    bool AcceptsConnection() override { return acceptConnection; }
    bool AnswersConnection() override { return answerConnection && !gone; }
    int Receive(const std::uint8_t* bytes, int length) override;
    bool ClosesNow() override { return closeAfterBytes >= 0 && static_cast<long>(image.size()) >= closeAfterBytes; }
    void OnShutdown() override { imageShutdown = true; }
    std::uint64_t WriteReadyDelayMs() override { return writeReadyDelayMs; }

    int CountSent(CommandWord command) const;

   private:
    std::uint64_t restartDoneAt = 0;
    bool restarting = false;
    int sends = 0;
    void Reply(const StationId& to, CommandWord word, const Bytes& payload, std::int32_t result);
    std::int32_t JudgeUpdate(const SentDatagram& request, int passwordOffset) const;
    std::int32_t JudgeTransfer() const;
};

// Joins a peer to the world's network.
void AddPeer(StationPeer& peer);
