// libjpeg(-turbo) decodes the image here; Windows, which has no MinGW build
// of it, decodes through its own imaging component (jpeg_accurate_win32.cpp).
#if !defined(_WIN32)
#include "pcl/jpeg_accurate.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "pcl/raster_accurate.h"

namespace qm::pclraster {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf exit;
};

[[noreturn]] void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->exit, 1);
}
void OnMessage(j_common_ptr, int) {}

// Reads the rows one at a time into `row` (sized by the caller after the
// header); no object with a destructor lives between setjmp and longjmp.
JpegColour Scan(jpeg_decompress_struct& d, ErrorManager& err, unsigned char* row, unsigned rowBytes, int slack) {
    if (setjmp(err.exit) != 0) return JpegColour::Unknown;
    jpeg_start_decompress(&d);
    if (d.output_components != 3 || d.output_width * 3u > rowBytes) return JpegColour::Unknown;
    JSAMPROW rows[1] = {row};
    while (d.output_scanline < d.output_height) {
        if (jpeg_read_scanlines(&d, rows, 1) != 1) return JpegColour::Unknown;
        if (!RgbNeutral(row, d.output_width, slack)) return JpegColour::Colour;
    }
    jpeg_finish_decompress(&d);
    return JpegColour::Neutral;
}

}  // namespace

JpegColour ColourOfJpeg(Bytes jpeg, int slack) noexcept {
    if (jpeg.size < 4) return JpegColour::Unknown;
    jpeg_decompress_struct d{};
    ErrorManager err{};
    d.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    err.base.emit_message = OnMessage;
    // Set between setjmp and a possible longjmp: volatile keeps their values.
    unsigned char* volatile row = nullptr;
    volatile JpegColour result = JpegColour::Unknown;
    if (setjmp(err.exit) == 0) {
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, jpeg.data, jpeg.size);
        if (jpeg_read_header(&d, TRUE) == JPEG_HEADER_OK) {
            if (d.num_components == 1) {
                result = JpegColour::Neutral;
            } else if (uint64_t{d.image_width} * d.image_height <= kJpegMaxPixels && d.num_components == 3) {
                d.out_color_space = JCS_RGB;
                const unsigned rowBytes = d.image_width * 3u;
                unsigned char* buffer = static_cast<unsigned char*>(std::malloc(rowBytes));
                row = buffer;
                if (buffer != nullptr) result = Scan(d, err, buffer, rowBytes, slack);
            }
        }
    }
    std::free(row);
    jpeg_destroy_decompress(&d);
    return result;
}

}  // namespace qm::pclraster
#endif
