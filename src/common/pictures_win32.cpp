#include "common/pictures_win32.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/errors.h"
#include "common/window_win32.h"

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
        BITMAPINFO info = PixelFormat32(size, size);
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

BITMAPINFO PixelFormat32(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return info;
}

namespace {

// Top-down 32-bit pixels of a bitmap resource.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
};

UniqueGdiObject LoadBitmapResource(LPCSTR name) {
    UniqueGdiObject bitmap(LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) throw ENorvaleError("the program's pictures cannot be loaded");
    return bitmap;
}

Pixels ReadPixels(HGDIOBJ bitmap) {
    BITMAP shape{};
    GetObjectA(bitmap, sizeof shape, &shape);
    Pixels pixels{shape.bmWidth, shape.bmHeight, std::vector<uint32_t>(size_t(shape.bmWidth) * shape.bmHeight)};
    BITMAPINFO info = PixelFormat32(shape.bmWidth, -shape.bmHeight);
    const UniqueWindowDc screen;
    const int rows = GetDIBits(screen.get(), static_cast<HBITMAP>(bitmap), 0, shape.bmHeight, pixels.data.data(),
                               &info, DIB_RGB_COLORS);
    if (rows != shape.bmHeight) throw ENorvaleError("the program's pictures cannot be read");
    return pixels;
}

// How much of each source cell [k, k+1) falls into target cell `t` when
// `from` cells are spread over `to`: the weights of an area average.
std::vector<std::vector<std::pair<int, double>>> Footprints(int from, int to) {
    std::vector<std::vector<std::pair<int, double>>> weights(static_cast<size_t>(to));
    const double ratio = double(from) / to;
    for (int t = 0; t < to; ++t) {
        const double begin = t * ratio;
        const double end = (t + 1) * ratio;
        for (int k = int(begin); k < from && k < end; ++k) {
            const double covered = std::min(end, k + 1.0) - std::max(begin, double(k));
            if (covered > 0) weights[size_t(t)].push_back({k, covered / ratio});
        }
    }
    return weights;
}

// Area averaging rather than StretchBlt's HALFTONE, which not every system
// implements as an average: the picture looks the same everywhere.
Pixels Resampled(const Pixels& source, int width, int height) {
    const auto across = Footprints(source.width, width);
    const auto down = Footprints(source.height, height);
    std::vector<double> rows(size_t(width) * source.height * 4);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < width; ++x) {
            double* sum = &rows[(size_t(y) * width + x) * 4];
            for (const auto& [k, weight] : across[size_t(x)]) {
                const uint32_t pixel = source.data[size_t(y) * source.width + k];
                for (int channel = 0; channel < 4; ++channel) sum[channel] += ((pixel >> (8 * channel)) & 0xFF) * weight;
            }
        }
    }
    Pixels target{width, height, std::vector<uint32_t>(size_t(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double sum[4] = {};
            for (const auto& [k, weight] : down[size_t(y)]) {
                for (int channel = 0; channel < 4; ++channel) sum[channel] += rows[(size_t(k) * width + x) * 4 + channel] * weight;
            }
            // Opaque: a control that blends 32-bit pictures must not see
            // holes where a 24-bit resource had no alpha at all.
            uint32_t pixel = 0xFF000000u;
            for (int channel = 0; channel < 3; ++channel) {
                pixel |= uint32_t(std::clamp(int(sum[channel] + 0.5), 0, 255)) << (8 * channel);
            }
            target.data[size_t(y) * width + x] = pixel;
        }
    }
    return target;
}

UniqueGdiObject BitmapOf(const Pixels& pixels) {
    BITMAPINFO info = PixelFormat32(pixels.width, -pixels.height);
    void* bits = nullptr;
    UniqueGdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) throw ENorvaleError("the program's pictures cannot be made");
    std::copy(pixels.data.begin(), pixels.data.end(), static_cast<uint32_t*>(bits));
    return bitmap;
}

}  // namespace

UniqueGdiObject LoadScaledPicture(LPCSTR name, LPCSTR name2x, int width, int height) {
    const int scaledWidth = Scaled(width);
    const int scaledHeight = Scaled(height);
    if (name != nullptr && scaledWidth == width && scaledHeight == height) return LoadBitmapResource(name);
    const UniqueGdiObject large = LoadBitmapResource(name2x);
    return BitmapOf(Resampled(ReadPixels(large.get()), scaledWidth, scaledHeight));
}

}  // namespace norvale
