#include "receive/connection_room.h"

namespace norvale {

std::optional<RoomChoice> ConnectionToClose(std::span<const HeldConnection> held, std::string_view peer,
                                            size_t perAddress, size_t places) {
    std::optional<size_t> ownIdlest, idlest;
    size_t own = 0;
    for (size_t i = 0; i < held.size(); ++i) {
        if (!idlest || held[i].lastFrame < held[*idlest].lastFrame) idlest = i;
        if (held[i].peer != peer) continue;
        ++own;
        if (!ownIdlest || held[i].lastFrame < held[*ownIdlest].lastFrame) ownIdlest = i;
    }
    if (own >= perAddress) return RoomChoice{*ownIdlest, RoomReason::Replaced};
    if (held.size() >= places) return RoomChoice{*idlest, RoomReason::MadeRoom};
    return std::nullopt;
}

}  // namespace norvale
