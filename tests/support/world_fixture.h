// The common fixture: a fresh fake world, the core at program start, and a
// firmware image of the carried size.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "app/firmware_image.h"
#include "platform/fake/fake_world.h"
#include "protocol/endpoint.h"
#include "support/packets.h"
#include "support/test_text.h"

constexpr std::uint32_t CARRIED_IMAGE_SIZE = 885240;

std::vector<std::uint8_t>& TestImage(std::uint32_t size = CARRIED_IMAGE_SIZE);

class WorldTest : public ::testing::Test {
   protected:
    void SetUp() override;
    void UseImage(std::uint32_t size);
    // The endpoint opened as the dialog does, with a known local identity.
    void OpenTestEndpoint();
    std::vector<std::string> StatusHistory() const { return World().display.statusHistory; }
    std::string Status() const;
    StationId localId = {0x00, 0x16, 0x01, 0x02, 0x03, 0x04};
};
