// Which connection goes for a new one: the longest idle of the new one's
// address once that address holds its share, else the longest idle of all
// once every place is taken, the oldest of equally idle ones.

#include <gtest/gtest.h>

#include "receive/connection_room.h"

namespace norvale {
namespace {

TEST(ConnectionRoomTest, TheLongestIdleOfTheAddressOrOfAllGoes) {
    using enum RoomReason;
    const auto at = [](int seconds) { return std::chrono::steady_clock::time_point(std::chrono::seconds(seconds)); };
    // Addresses by letter, idle since the second given.
    const std::vector<HeldConnection> held = {{"a", at(5)}, {"b", at(3)}, {"a", at(4)}, {"c", at(3)}, {"a", at(4)}};
    const struct {
        size_t count;
        const char* peer;
        size_t perAddress, places;
        std::optional<size_t> index;
        RoomReason reason;
    } rows[] = {
        {0, "a", 1, 1, std::nullopt, Replaced}, {5, "d", 8, 64, std::nullopt, Replaced},
        {5, "d", 8, 6, std::nullopt, Replaced}, {5, "b", 2, 64, std::nullopt, Replaced},
        // Every place taken: the longest idle of all, the first of a tie.
        {5, "d", 8, 5, 1, MadeRoom}, {4, "c", 8, 4, 1, MadeRoom}, {1, "b", 8, 1, 0, MadeRoom},
        {5, "a", 4, 5, 1, MadeRoom},
        // The address's share taken: its longest idle, before all places are.
        {5, "a", 3, 64, 2, Replaced}, {5, "a", 3, 5, 2, Replaced}, {2, "a", 1, 64, 0, Replaced},
        {5, "c", 1, 64, 3, Replaced},
    };
    for (const auto& row : rows) {
        const auto choice = ConnectionToClose(std::span(held).first(row.count), row.peer, row.perAddress, row.places);
        const std::string what = std::string(row.peer) + " row " + std::to_string(&row - rows);
        ASSERT_EQ(choice.has_value(), row.index.has_value()) << what;
        if (!choice) continue;
        EXPECT_EQ(choice->index, *row.index) << what;
        EXPECT_EQ(choice->reason, row.reason) << what;
    }
}

}  // namespace
}  // namespace norvale
