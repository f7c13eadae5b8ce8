// What a placement save stores and what a restore applies, against a window
// that records what it is asked to do, and under Wine against a real window.
// The values live below a scratch path of the tests, removed from both hives.

#include <gtest/gtest.h>

#include <exception>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "config/reg_placement.h"
#include "config/registry_values.h"
#include "tests_support/error_text.h"
#include "tests_support/scratch.h"

#ifdef _WIN32
#include <array>

#include "common/window_win32.h"
#endif

namespace norvale {

void PrintTo(const TPlacementValues& p, std::ostream* out) {
    *out << '{' << p.Flags << ", " << p.ShowCmd << ", (" << p.MinPosX << ", " << p.MinPosY << "), (" << p.MaxPosX
         << ", " << p.MaxPosY << "), (" << p.NormPosLeft << ", " << p.NormPosTop << ", " << p.NormPosRight << ", "
         << p.NormPosBottom << ")}";
}

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(PlacementNumberTest, Texts) {
    const std::pair<const char*, int32_t> rows[] = {
        {"", 0}, {"0", 0}, {"120", 120}, {"-8", -8}, {"+8", 8},
        // Hexadecimal after "$" or "0x".
        {"$1F", 31}, {"$ff", 255}, {"0x1f", 31}, {"0X1F", 31}, {"-$10", -16}, {"-0x10", -16},
        // The leading part of a text that goes on with other characters.
        {"12px", 12}, {"-3.5", -3}, {"$1G", 1}, {"1F", 1}, {"0x", 0}, {"$", 0}, {"-", 0}, {"abc", 0}, {" 5", 0},
        // Out of range: the nearest 32-bit value.
        {"2147483647", kMax}, {"-2147483648", kMin}, {"2147483648", kMax}, {"-99999999999", kMin},
        {"$80000000", kMax}, {"123456789012345678901234567890", kMax},
    };
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(PlacementNumberFromText(text), expected) << '"' << text << '"';
    }
}

// Gives the placement it is set up with, and records what it is asked to do.
struct RecordingWindow final : IPlacementWindow {
    std::optional<TPlacementValues> GetPlacement() override { return current; }
    void SetPlacement(const TPlacementValues& placement) override {
        if (failure) std::rethrow_exception(failure);
        applied.push_back(placement);
    }
    void ShowMaximized() override { ++maximized; }

    std::optional<TPlacementValues> current;
    std::exception_ptr failure;
    std::vector<TPlacementValues> applied;
    int maximized = 0;
};

const TPlacementValues kSaved{.Flags = 2, .ShowCmd = 1, .MinPosX = -1, .MinPosY = -1, .MaxPosX = kMin,
                              .MaxPosY = -30, .NormPosLeft = -100, .NormPosTop = 80, .NormPosRight = 420,
                              .NormPosBottom = kMax};
// The values of kSaved as stored, in the order they are written.
const std::vector<std::pair<std::string, std::string>> kSavedTexts = {
    {"flags", "2"}, {"ShowCmd", "1"}, {"MinPosX", "-1"}, {"MinPosY", "-1"}, {"MaxPosX", "-2147483648"},
    {"MaxPosY", "-30"}, {"NormPosLeft", "-100"}, {"NormPosTop", "80"}, {"NormPosRight", "420"},
    {"NormPosBottom", "2147483647"},
};

const TPlacementValues kNormal{.ShowCmd = 1, .NormPosLeft = 10, .NormPosTop = 20, .NormPosRight = 300,
                               .NormPosBottom = 200};

class RegPlacementTest : public testing::Test {
protected:
    RegPlacementTest() {
        config_.SetPath(scratch_.Path());
        placement_.SetRegistry(&config_);
        placement_.SetKey("DebugWindow");
        placement_.SetWindow(&window_);
    }

    // Read past the store, straight from one hive.
    std::string Stored(RegKey hive, const std::string& name) {
        return ReadRegString(hive, config_.KeyPath() + "\\" + placement_.Key(), name, "(none)");
    }

    // Stored per user by a save, then the show state's text replaced.
    void Store(const TPlacementValues& placement, const std::string& showCmd) {
        RecordingWindow window;
        window.current = placement;
        TRegPlacement saver;
        saver.SetRegistry(&config_);
        saver.SetKey(placement_.Key());
        saver.SetWindow(&window);
        saver.SavePlacement();
        WriteRegString(RegCurrentUser(), config_.KeyPath() + "\\" + placement_.Key(), "ShowCmd", showCmd);
    }

    test::ScratchStorePath scratch_;
    TRegistryConfig config_;
    RecordingWindow window_;
    TRegPlacement placement_;
};

TEST_F(RegPlacementTest, SavesTenValuesAsSignedDecimalTextAndRestoresThem) {
    window_.current = kSaved;
    placement_.SavePlacement();
    for (const auto& [name, text] : kSavedTexts) {
        EXPECT_EQ(Stored(RegCurrentUser(), name), text) << name;
        EXPECT_EQ(Stored(RegLocalMachine(), name), "(none)") << name;
    }
    RecordingWindow restored;
    placement_.SetWindow(&restored);
    placement_.RestorePlacement();
    EXPECT_EQ(restored.applied, std::vector{kSaved});
    EXPECT_EQ(restored.maximized, 0);
}

TEST_F(RegPlacementTest, RestoreDecisions) {
    enum Outcome { kNothing, kMaximized, kApplied };
    struct Row {
        const char* what;
        const char* showCmd;  // nothing stored at all when null
        int32_t left, right;
        Outcome outcome;
    };
    const Row rows[] = {
        {"nothing stored", nullptr, 0, 0, kNothing},
        {"normal", "1", 10, 300, kApplied},
        {"rectangle left of the screen", "1", -300, -10, kApplied},
        {"minimized", "2", 10, 300, kApplied},
        {"maximized", "3", 10, 300, kMaximized},
        {"maximized, in hexadecimal", "0x3", 10, 300, kMaximized},
        {"maximized with an empty rectangle", "3", 0, 0, kMaximized},
        {"left equal to right", "1", 300, 300, kNothing},
        {"left beyond right", "1", 301, 300, kNothing},
    };
    int key = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        placement_.SetKey("Row" + std::to_string(key++));
        TPlacementValues stored{.Flags = 2, .ShowCmd = PlacementNumberFromText(row.showCmd ? row.showCmd : ""),
                                .MinPosX = -1, .MinPosY = -1, .MaxPosX = -8, .MaxPosY = -30,
                                .NormPosLeft = row.left, .NormPosTop = 20, .NormPosRight = row.right,
                                .NormPosBottom = 200};
        if (row.showCmd != nullptr) Store(stored, row.showCmd);
        RecordingWindow window;
        placement_.SetWindow(&window);
        placement_.RestorePlacement();
        EXPECT_EQ(window.maximized, row.outcome == kMaximized ? 1 : 0);
        EXPECT_EQ(window.applied, row.outcome == kApplied ? std::vector{stored} : std::vector<TPlacementValues>{});
    }
}

TEST_F(RegPlacementTest, DoesNothingWithoutStoreOrWindow) {
    Store(kNormal, "3");
    window_.current = kSaved;
    placement_.SetRegistry(nullptr);
    placement_.RestorePlacement();
    placement_.SetKey("Unsaved");
    placement_.SavePlacement();
    EXPECT_EQ(window_.maximized, 0);
    EXPECT_EQ(Stored(RegCurrentUser(), "flags"), "(none)");

    placement_.SetRegistry(&config_);
    placement_.SetWindow(nullptr);
    placement_.RestorePlacement();
    placement_.SavePlacement();
    EXPECT_EQ(Stored(RegCurrentUser(), "flags"), "(none)");
}

TEST_F(RegPlacementTest, SaveWithoutAPlacementAbortsSilentlyAndWritesNothing) {
    EXPECT_EQ(test::ErrorText<EAbort>([&] { placement_.SavePlacement(); }), "Unable to retrieve window placement");
    EXPECT_EQ(Stored(RegCurrentUser(), "flags"), "(none)");
    EXPECT_EQ(Stored(RegLocalMachine(), "flags"), "(none)");
}

TEST_F(RegPlacementTest, StyleChoosesTheHive) {
    placement_.SetStyle(TPlacementStyle::psByMachine);
    window_.current = kNormal;
    placement_.SavePlacement();
    EXPECT_EQ(Stored(RegLocalMachine(), "NormPosRight"), "300");
    EXPECT_EQ(Stored(RegCurrentUser(), "NormPosRight"), "(none)");

    config_.SetUser(true);
    placement_.RestorePlacement();
    EXPECT_EQ(window_.applied, std::vector{kNormal});
    placement_.SetStyle(TPlacementStyle::psByUser);
    placement_.RestorePlacement();
    EXPECT_EQ(window_.applied.size(), 1u);
}

TEST_F(RegPlacementTest, KeyIgnoresTheEmptyText) {
    EXPECT_EQ(TRegPlacement().Key(), "MyWindowPlacement");
    placement_.SetKey("");
    EXPECT_EQ(placement_.Key(), "DebugWindow");
}

TEST_F(RegPlacementTest, UnopenableStoreFailsTheSaveAndRestoresNothing) {
    // No key name may be longer than 255 characters.
    config_.SetPath(scratch_.Path() + "\\" + std::string(256, 'k'));
    placement_.SetStyle(TPlacementStyle::psByMachine);
    window_.current = kNormal;
    EXPECT_EQ(test::ErrorText<ERegistryError>([&] { placement_.SavePlacement(); }),
              "could not create key DebugWindow (Error 6).");
    placement_.RestorePlacement();
    EXPECT_TRUE(window_.applied.empty());
}

TEST_F(RegPlacementTest, RestoreDropsRegistryErrorsOnly) {
    Store(kNormal, "1");
    window_.failure = std::make_exception_ptr(ERegistryError("could not set value flags (Error 5)."));
    EXPECT_NO_THROW(placement_.RestorePlacement());
    window_.failure = std::make_exception_ptr(ENorvaleError("window gone"));
    EXPECT_EQ(test::ErrorText<ENorvaleError>([&] { placement_.RestorePlacement(); }), "window gone");
}

#ifdef _WIN32
// Stands in for the platform's value setter while it lives, keeping each
// value's name and text instead of storing it.
class RecordedWrites {
public:
    RecordedWrites() : platformCall_(std::exchange(RegSetValueExACall, Record)) { writes_.clear(); }
    ~RecordedWrites() { RegSetValueExACall = platformCall_; }
    RecordedWrites(const RecordedWrites&) = delete;
    RecordedWrites& operator=(const RecordedWrites&) = delete;

    const std::vector<std::pair<std::string, std::string>>& Writes() const { return writes_; }

private:
    static LONG WINAPI Record(HKEY, LPCSTR name, DWORD, DWORD, const BYTE* data, DWORD count) {
        writes_.emplace_back(name, std::string(reinterpret_cast<const char*>(data), count));
        return ERROR_SUCCESS;
    }

    static inline std::vector<std::pair<std::string, std::string>> writes_;
    decltype(&RegSetValueExA) platformCall_;
};

TEST_F(RegPlacementTest, WritesTheValuesInTheirOrder) {
    window_.current = kSaved;
    const RecordedWrites recorded;
    placement_.SavePlacement();
    EXPECT_EQ(recorded.Writes(), kSavedTexts);
}

// A top-level window of the test's own, created hidden.
class TPlacementTestWindow final : public TWindow {
public:
    TPlacementTestWindow() {
        Create("NorvalePlacementTestWindow", 0, "Placement test", WS_OVERLAPPEDWINDOW, 100, 80, 320, 240, nullptr,
               nullptr);
    }
};

std::array<LONG, 4> BoundsOf(HWND window) {
    RECT bounds{};
    EXPECT_TRUE(GetWindowRect(window, &bounds));
    return {bounds.left, bounds.top, bounds.right, bounds.bottom};
}

void MoveTo(HWND window, int x, int y, int width, int height) {
    EXPECT_TRUE(SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE));
}

TEST_F(RegPlacementTest, WindowThatIsGoneAbortsTheSave) {
    HWND gone = nullptr;
    {
        const TPlacementTestWindow window;
        gone = window.Handle();
    }
    TWin32PlacementWindow binding(gone);
    placement_.SetWindow(&binding);
    EXPECT_EQ(test::ErrorText<EAbort>([&] { placement_.SavePlacement(); }), "Unable to retrieve window placement");
    EXPECT_EQ(Stored(RegCurrentUser(), "flags"), "(none)");
}

// The main window saves when it is hidden and restores when it is shown.
// Under Wine without a window manager, hiding or destroying a visible window
// waits about 2 s for the display, so the window is shown only where the case
// needs it.
class RegPlacementWindowTest : public RegPlacementTest {
protected:
    RegPlacementWindowTest() { placement_.SetWindow(&binding_); }

    HWND Handle() const { return realWindow_.Handle(); }

    TPlacementTestWindow realWindow_;
    TWin32PlacementWindow binding_{realWindow_.Handle()};
};

TEST_F(RegPlacementWindowTest, NormalBoundsComeBack) {
    MoveTo(Handle(), 150, 90, 400, 300);
    placement_.SavePlacement();
    EXPECT_EQ(Stored(RegCurrentUser(), "ShowCmd"), "1");

    MoveTo(Handle(), 10, 10, 200, 150);
    placement_.RestorePlacement();
    EXPECT_EQ(BoundsOf(Handle()), (std::array<LONG, 4>{150, 90, 550, 390}));
    EXPECT_TRUE(IsWindowVisible(Handle()));
    EXPECT_FALSE(IsZoomed(Handle()));
}

TEST_F(RegPlacementWindowTest, MaximizedComesBackMaximizedWithoutItsNormalBounds) {
    ShowWindow(Handle(), SW_SHOWMAXIMIZED);
    ASSERT_TRUE(IsZoomed(Handle()));
    ShowWindow(Handle(), SW_HIDE);
    placement_.SavePlacement();
    EXPECT_EQ(Stored(RegCurrentUser(), "ShowCmd"), "3");

    ShowWindow(Handle(), SW_SHOWNORMAL);
    MoveTo(Handle(), 40, 30, 250, 200);
    placement_.RestorePlacement();
    EXPECT_TRUE(IsZoomed(Handle()));
    EXPECT_TRUE(IsWindowVisible(Handle()));
    ShowWindow(Handle(), SW_RESTORE);
    EXPECT_EQ(BoundsOf(Handle()), (std::array<LONG, 4>{40, 30, 290, 230}));
}

TEST_F(RegPlacementWindowTest, RectangleWithLeftNotBeforeRightIsIgnored) {
    const auto before = BoundsOf(Handle());
    for (LONG left : {200, 201}) {
        Store({.ShowCmd = 1, .NormPosLeft = left, .NormPosTop = 100, .NormPosRight = 200, .NormPosBottom = 300}, "1");
        placement_.RestorePlacement();
        EXPECT_EQ(BoundsOf(Handle()), before) << left;
        EXPECT_FALSE(IsWindowVisible(Handle())) << left;
    }
}
#endif

}  // namespace
}  // namespace norvale
