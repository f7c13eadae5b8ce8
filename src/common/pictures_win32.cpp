#include "common/pictures_win32.h"

#include <cstdint>
#include <cstring>

#include "common/errors.h"

namespace norvale {

std::vector<UniqueGdiObject> LoadPictureStrip(int resource, int size, std::optional<COLORREF> background) {
    const UniqueGdiObject strip(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resource), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    DIBSECTION section{};
    if (!strip || GetObjectA(strip.get(), sizeof section, &section) != sizeof section ||
        section.dsBm.bmBitsPixel != 32 || section.dsBm.bmHeight != size) {
        throw ENorvaleError("the program's pictures cannot be loaded");
    }
    const auto* source = static_cast<const uint8_t*>(section.dsBm.bmBits);
    const int stride = section.dsBm.bmWidthBytes;
    std::vector<UniqueGdiObject> pictures;
    for (int left = 0; left + size <= section.dsBm.bmWidth; left += size) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = size;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        UniqueGdiObject picture(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!picture) throw ENorvaleError("the program's pictures cannot be made");
        auto* target = static_cast<uint8_t*>(bits);
        // Both bottom-up with the same row order; alpha is stored straight.
        for (int row = 0; row < size; ++row) {
            const uint8_t* from = source + row * stride + left * 4;
            uint8_t* to = target + row * size * 4;
            for (int x = 0; x < size; ++x) {
                const unsigned alpha = from[x * 4 + 3];
                // Blue, green, red: the order of the pixel's bytes.
                const unsigned under[3] = {background ? GetBValue(*background) : 0u,
                                           background ? GetGValue(*background) : 0u,
                                           background ? GetRValue(*background) : 0u};
                for (int channel = 0; channel < 3; ++channel) {
                    to[x * 4 + channel] =
                        static_cast<uint8_t>((from[x * 4 + channel] * alpha + under[channel] * (255 - alpha)) / 255);
                }
                to[x * 4 + 3] = static_cast<uint8_t>(background ? 255 : alpha);
            }
        }
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

}  // namespace norvale
