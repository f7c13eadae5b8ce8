#pragma once

#include "config/options_settings.h"

namespace norvale {

// A part of the process that follows the `Options` key: it is handed the
// options as read at start and at every refresh, under the output lock, so
// it must not wait.
class IOptionsFollower {
public:
    virtual ~IOptionsFollower() = default;
    virtual void ApplyOptions(const OptionsSettings& options) = 0;
};

}  // namespace norvale
