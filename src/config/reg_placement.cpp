#include "config/reg_placement.h"

#include <algorithm>
#include <limits>
#include <span>

#include "common/errors.h"
#include "config/registry_values.h"

namespace norvale {

namespace {

struct StoredValue {
    const char* name;
    int32_t TPlacementValues::*field;
};

// The order in which they are written; a save that fails part way leaves the
// values before the failure written.
constexpr StoredValue kStoredValues[] = {
    {"flags", &TPlacementValues::Flags},
    {"ShowCmd", &TPlacementValues::ShowCmd},
    {"MinPosX", &TPlacementValues::MinPosX},
    {"MinPosY", &TPlacementValues::MinPosY},
    {"MaxPosX", &TPlacementValues::MaxPosX},
    {"MaxPosY", &TPlacementValues::MaxPosY},
    {"NormPosLeft", &TPlacementValues::NormPosLeft},
    {"NormPosTop", &TPlacementValues::NormPosTop},
    {"NormPosRight", &TPlacementValues::NormPosRight},
    {"NormPosBottom", &TPlacementValues::NormPosBottom},
};
// flags and ShowCmd decide whether the positions are read at all.
constexpr size_t kShowValues = 2;

constexpr int32_t kShowMaximized = 3;

int DigitValue(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

int32_t PlacementNumberFromText(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with('$')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    // Past 2^32 no further digit can bring the value back into range, so the
    // magnitude stops there and cannot overflow.
    constexpr int64_t kBeyondRange = int64_t{1} << 32;
    int64_t magnitude = 0;
    for (char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0) break;
        magnitude = std::min(magnitude * base + digit, kBeyondRange);
    }
    return static_cast<int32_t>(std::clamp<int64_t>(negative ? -magnitude : magnitude,
                                                    std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

void TRegPlacement::SetKey(const std::string& key) {
    if (!key.empty()) key_ = key;
}

void TRegPlacement::SavePlacement() {
    if (registry_ == nullptr || window_ == nullptr) return;
    const std::optional<TPlacementValues> current = window_->GetPlacement();
    if (!current) throw EAbort("Unable to retrieve window placement");
    const TPlacementValues& placement = *current;
    registry_->SetUser(style_ == TPlacementStyle::psByUser);
    for (const auto& [name, field] : kStoredValues) {
        registry_->WriteString(key_, name, std::to_string(placement.*field));
    }
}

void TRegPlacement::RestorePlacement() {
    if (registry_ == nullptr || window_ == nullptr) return;
    registry_->SetUser(style_ == TPlacementStyle::psByUser);
    const auto readInto = [&](TPlacementValues& placement, std::span<const StoredValue> values) {
        for (const auto& [name, field] : values) {
            placement.*field = PlacementNumberFromText(registry_->ReadString(key_, name));
        }
    };
    try {
        TPlacementValues placement;
        readInto(placement, std::span(kStoredValues).first(kShowValues));
        // Only the maximized state comes back: leaving it returns the window to
        // the bounds it has now.
        if (placement.ShowCmd == kShowMaximized) {
            window_->ShowMaximized();
            return;
        }
        readInto(placement, std::span(kStoredValues).subspan(kShowValues));
        // An empty or inverted rectangle (nothing stored yet) would shrink the
        // window to nothing; it keeps the bounds it has instead.
        if (placement.NormPosLeft < placement.NormPosRight) window_->SetPlacement(placement);
    } catch (const ERegistryError&) {
        // Restoring is a convenience: the window stays as it is.
    }
}

}  // namespace norvale
