#pragma once

// The monochrome adapter as the server offers it to other programs when no
// hardware driver is there: a named shared memory block laid out like the
// adapter. Other programs (monoscreen.exe among them) read these offsets;
// they never change.

#include <cstddef>
#include <cstdint>

namespace norvale::monoadapter {

inline constexpr const char* kMappingName = "Local\\NorvaleMonoScreen";
inline constexpr size_t kMappingSize = 4096;

inline constexpr int kColumns = 80;
inline constexpr int kRows = 25;
// Cells: character byte, then attribute byte, row by row.
inline constexpr size_t kCellBytes = kColumns * kRows * 2;
// The last value written to the CRT controller's index port (0x3B4).
inline constexpr size_t kCrtIndexOffset = 4000;
// CRT controller registers 0 to 31, as written through the data port (0x3B5).
inline constexpr size_t kCrtRegistersOffset = 4016;
inline constexpr size_t kCrtRegisterCount = 32;

inline constexpr uint8_t kCursorStartRegister = 0x0A;
inline constexpr uint8_t kCursorEndRegister = 0x0B;
inline constexpr uint8_t kCursorHighRegister = 0x0E;
inline constexpr uint8_t kCursorLowRegister = 0x0F;

}  // namespace norvale::monoadapter
