// Small JPEG images made on the spot, for the readers that decode them.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>, which it needs

// A baseline JPEG (YCbCr) of w x h grey pixels but for an 8 x 8 `mark` in the middle.
inline std::string Jpeg(int w, int h, const std::array<uint8_t, 3>& mark, int quality = 75, bool storeRgb = false) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = w;
    info.image_height = h;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (storeRgb) jpeg_set_colorspace(&info, JCS_RGB);  // kept as RGB, not YCbCr
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(3 * w);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < w; ++x) {
            const bool marked = std::abs(2 * x + 1 - w) <= 8 && std::abs(2 * y + 1 - h) <= 8;
            for (int k = 0; k < 3; ++k) row[3 * x + k] = marked ? mark[k] : 120;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}
