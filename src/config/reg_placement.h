#pragma once

// Keeps a window's placement in the registry so that it reopens where the user
// left it. What is stored and what a restore applies is decided here over
// plain values; the window is reached through IPlacementWindow.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/registry_config.h"

namespace norvale {

// The platform's window placement record without its length field.
struct TPlacementValues {
    int32_t Flags = 0;
    int32_t ShowCmd = 0;  // 1 normal, 2 minimized, 3 maximized
    int32_t MinPosX = 0;
    int32_t MinPosY = 0;
    int32_t MaxPosX = 0;
    int32_t MaxPosY = 0;
    int32_t NormPosLeft = 0;
    int32_t NormPosTop = 0;
    int32_t NormPosRight = 0;
    int32_t NormPosBottom = 0;

    bool operator==(const TPlacementValues&) const = default;
};

// The window whose placement is kept.
class IPlacementWindow {
public:
    virtual ~IPlacementWindow() = default;
    // Empty when the platform cannot give the placement.
    virtual std::optional<TPlacementValues> GetPlacement() = 0;
    virtual void SetPlacement(const TPlacementValues& placement) = 0;
    virtual void ShowMaximized() = 0;
};

enum class TPlacementStyle { psByUser, psByMachine };

// A stored number: signed decimal, or hexadecimal after "$" or "0x"; a text
// with other characters gives the value of its leading part, one without a
// number (the empty text of a missing value included) gives 0, and one out of
// range the nearest 32-bit value.
int32_t PlacementNumberFromText(std::string_view text);

class TRegPlacement {
public:
    // Without it, saving and restoring do nothing.
    TRegistryConfig* Registry() const { return registry_; }
    void SetRegistry(TRegistryConfig* registry) { registry_ = registry; }
    // The subkey of the store's application key that holds the values; the
    // empty text is ignored.
    const std::string& Key() const { return key_; }
    void SetKey(const std::string& key);
    // The window whose placement is kept; without it, nothing is done.
    IPlacementWindow* Window() const { return window_; }
    void SetWindow(IPlacementWindow* window) { window_ = window; }
    // Which hive of the store the values live in.
    TPlacementStyle Style() const { return style_; }
    void SetStyle(TPlacementStyle style) { style_ = style; }

    // Raises EAbort when the window cannot give its placement (nothing is
    // written), and ERegistryError when a value cannot be written (those
    // before it stay written).
    void SavePlacement();
    // A registry failure ends the restore quietly; other failures propagate.
    void RestorePlacement();

private:
    TRegistryConfig* registry_ = nullptr;
    std::string key_ = "MyWindowPlacement";
    IPlacementWindow* window_ = nullptr;
    TPlacementStyle style_ = TPlacementStyle::psByUser;
};

#ifdef _WIN32
// A real window, through GetWindowPlacement, SetWindowPlacement and
// ShowWindow.
class TWin32PlacementWindow final : public IPlacementWindow {
public:
    explicit TWin32PlacementWindow(HWND window) : window_(window) {}

    std::optional<TPlacementValues> GetPlacement() override;
    void SetPlacement(const TPlacementValues& placement) override;
    void ShowMaximized() override;

private:
    HWND window_;
};
#endif

}  // namespace norvale
