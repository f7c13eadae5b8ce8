#pragma once

// Which TCP connection goes when a new one comes: no sender may hold more
// than its share of places, and nobody who only connects or trickles may keep
// a sender that talks out. A new connection always gets in; to make room, the
// longest idle connection goes (of its own address when that address holds
// its share, of all when every place is taken). Idle counts from the last
// whole frame, so a byte now and then does not keep a place.

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace norvale {

struct HeldConnection {
    std::string_view peer;
    std::chrono::steady_clock::time_point lastFrame;
};

enum class RoomReason {
    // Its address held its share: the new one from there replaces it.
    Replaced,
    // Every place was taken.
    MadeRoom,
};

struct RoomChoice {
    size_t index = 0;
    RoomReason reason = RoomReason::Replaced;
};

// The connection to close before one from `peer` is taken, none while there
// is room. Of equally idle ones the first, the oldest. `perAddress` and
// `places` are at least 1.
std::optional<RoomChoice> ConnectionToClose(std::span<const HeldConnection> held, std::string_view peer,
                                            size_t perAddress, size_t places);

}  // namespace norvale
