#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <vector>

#include "common/win32_resources.h"

namespace norvale {

struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ImageList_Destroy(h); }
};
using UniqueImageList = UniqueResource<ImageListTraits>;

// The pictures of a 32-bit bitmap resource, `size` pixels square, side by
// side, each as its own bitmap: with premultiplied alpha, as image lists take
// them, or laid onto `background` where the drawing does not blend (menus
// under some systems draw the transparent parts black).
std::vector<UniqueGdiObject> LoadPictureStrip(int resource, int size, std::optional<COLORREF> background = {});

// A 32-bit bitmap's format; a negative height lays its rows top down.
BITMAPINFO PixelFormat32(int width, int height);

// A picture of the program's resources at `width` by `height` pixels at 96
// dots per inch, brought to this screen's scale: `name` as it is where it
// fits exactly, otherwise `name2x` (drawn at twice the size) averaged down
// to the pixels the screen needs. `name` may be null.
UniqueGdiObject LoadScaledPicture(LPCSTR name, LPCSTR name2x, int width, int height);

}  // namespace norvale
