// Build-time tool: decodes the icon PNGs and writes their pixels as C++ source in the layout of
// _NET_WM_ICON (x11/window_icon.h), so the program carries its icon and reads no file.
//   icon_source OUTPUT.cpp ICON.png...
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.cpp ICON.png...\n", argv[0]);
        return 2;
    }
    std::vector<std::uint32_t> values;
    for (int k = 2; k < argc; ++k) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        std::vector<png_byte> argb;
        bool read = png_image_begin_read_from_file(&image, argv[k]) != 0;
        if (read) {
            // 8 bits a channel as the file stores them (sRGB), alpha not premultiplied.
            image.format = PNG_FORMAT_ARGB;
            argb.resize(PNG_IMAGE_SIZE(image));
            read = png_image_finish_read(&image, nullptr, argb.data(), 0, nullptr) != 0;
        }
        if (!read) {
            std::fprintf(stderr, "icon_source: %s: %s\n", argv[k], image.message);
            return 1;
        }
        values.push_back(image.width);
        values.push_back(image.height);
        for (size_t i = 0; i + 3 < argb.size(); i += 4)
            values.push_back(std::uint32_t(argb[i]) << 24 | std::uint32_t(argb[i + 1]) << 16 |
                             std::uint32_t(argb[i + 2]) << 8 | argb[i + 3]);
    }

    std::ofstream out(argv[1]);
    out << "// Made at build time by x11/icon_source.cpp from the committed icon PNGs.\n"
           "#include \"x11/window_icon.h\"\n\n"
           "extern const std::uint32_t kWindowIcon[] = {";
    char number[16];
    for (size_t i = 0; i < values.size(); ++i) {
        std::snprintf(number, sizeof number, "0x%08x,", static_cast<unsigned>(values[i]));
        out << (i % 8 == 0 ? "\n    " : " ") << number;
    }
    out << "\n};\nextern const std::size_t kWindowIconLength = sizeof kWindowIcon / sizeof kWindowIcon[0];\n";
    out.close();
    if (!out) {
        std::fprintf(stderr, "icon_source: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
