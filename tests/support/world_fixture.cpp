// Shared fixture of the tests that run the core against the fake world.
#include "support/world_fixture.h"

#include "ui/display.h"

std::vector<std::uint8_t>& TestImage(std::uint32_t size) {
    static std::vector<std::uint8_t> image;
    image.resize(size);
    std::uint32_t state = 0x2468ACE1;
    for (auto& byte : image) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

void WorldTest::SetUp() {
    ResetWorld();
    UseImage(CARRIED_IMAGE_SIZE);
}

void WorldTest::UseImage(std::uint32_t size) {
    auto& image = TestImage(size);
    firmwareImage = {image.data(), size};
}

void WorldTest::OpenTestEndpoint() {
    std::copy(localId.begin(), localId.end(), World().adapterAddress);
    OpenEndpoint();
}

std::string WorldTest::Status() const {
    const auto& history = World().display.statusHistory;
    return history.empty() ? std::string() : history.back();
}
