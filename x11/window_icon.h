// The window icon, in the layout of _NET_WM_ICON: for each size its width, its height, then
// width x height pixels as 0xAARRGGBB (alpha not premultiplied), rows top to bottom. The values
// are made at build time from the committed PNGs (icon_source.py), so the program reads no file.
#pragma once

#include <cstddef>
#include <cstdint>

extern const std::uint32_t kWindowIcon[];
extern const std::size_t kWindowIconLength;
