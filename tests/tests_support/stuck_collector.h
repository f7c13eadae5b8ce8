#pragma once

// A collector on 127.0.0.1 that holds a sender up: it takes the connection
// and never reads, or its backlog is full, so that connecting never ends.

#include <cstdint>
#include <vector>

#include "common/sockets.h"

namespace norvale::test {

class TStuckCollector {
public:
    explicit TStuckCollector(bool fillBacklog);
    uint16_t Port() const { return port_; }

private:
    UniqueSocket listener_;
    std::vector<UniqueSocket> fillers_;
    uint16_t port_ = 0;
};

}  // namespace norvale::test
