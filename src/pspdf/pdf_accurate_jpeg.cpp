// JPEG images decoded with libjpeg(-turbo), row by row, to look at their
// chroma. Only the rows in flight are held in memory. (Windows decodes them
// with the system's imaging component: pdf_accurate_jpeg_win32.cpp.)
#if !defined(_WIN32)
#include "pspdf/pdf_accurate_jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "quirometer/quirometer.h"

namespace qm::pdf {
namespace {

// A lossy codec leaves a grey picture's chroma a step or two off the middle,
// and its components a few steps apart.
constexpr int kChromaSlack = 3;
constexpr int kComponentSlack = 8;

struct Failure {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void Fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<Failure*>(info->err)->jump, 1);
}
void Quiet(j_common_ptr, int) {}
void NoMessage(j_common_ptr) {}

int Distance(int a, int b) noexcept { return a > b ? a - b : b - a; }

// Whether one decoded row holds a pixel off neutral, in the space it was decoded to.
bool RowColoured(const JSAMPLE* row, JDIMENSION width, J_COLOR_SPACE space, int components) noexcept {
    for (JDIMENSION x = 0; x < width; ++x, row += components) {
        switch (space) {
            case JCS_YCbCr: case JCS_YCCK:
                if (Distance(row[1], 128) > kChromaSlack || Distance(row[2], 128) > kChromaSlack) return true;
                break;
            case JCS_RGB: case JCS_CMYK:
                if (Distance(row[0], row[1]) > kComponentSlack || Distance(row[1], row[2]) > kComponentSlack)
                    return true;
                break;
            default: break;
        }
    }
    return false;
}

// The decode proper. Kept free of objects with destructors: a failure inside
// the library comes back here through longjmp.
uint8_t Decode(jpeg_decompress_struct& info, Failure& failure, std::string_view jpeg, uint64_t maxPixels,
               JSAMPLE*& row) {
    if (setjmp(failure.jump) != 0) return QM_PAGE_COLOR_UNKNOWN;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return QM_PAGE_COLOR_UNKNOWN;
    if (info.num_components == 1) return QM_PAGE_MONO;
    if (static_cast<uint64_t>(info.image_width) * info.image_height > maxPixels) return QM_PAGE_COLOR_UNKNOWN;
    // No colour conversion: the chroma is read as coded.
    switch (info.jpeg_color_space) {
        case JCS_YCbCr: case JCS_YCCK: case JCS_RGB: case JCS_CMYK: info.out_color_space = info.jpeg_color_space; break;
        default: return QM_PAGE_COLOR_UNKNOWN;
    }
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    const int components = info.output_components;
    if (components < 3) return QM_PAGE_COLOR_UNKNOWN;
    row = static_cast<JSAMPLE*>(std::malloc(static_cast<size_t>(info.output_width) * components));
    if (row == nullptr) return QM_PAGE_COLOR_UNKNOWN;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row};
        if (jpeg_read_scanlines(&info, rows, 1) != 1) return QM_PAGE_COLOR_UNKNOWN;
        if (RowColoured(row, info.output_width, info.out_color_space, components)) return QM_PAGE_COLOR;
    }
    return QM_PAGE_MONO;
}

}  // namespace

uint8_t JpegColour(std::string_view jpeg, uint64_t maxPixels) {
    if (jpeg.size() < 4 || jpeg.size() > 0x7FFFFFFF) return QM_PAGE_COLOR_UNKNOWN;
    jpeg_decompress_struct info{};
    Failure failure{};
    info.err = jpeg_std_error(&failure.base);
    failure.base.error_exit = Fail;
    failure.base.emit_message = Quiet;
    failure.base.output_message = NoMessage;
    jpeg_create_decompress(&info);
    JSAMPLE* row = nullptr;
    const uint8_t verdict = Decode(info, failure, jpeg, maxPixels, row);
    std::free(row);
    jpeg_destroy_decompress(&info);
    return verdict;
}

}  // namespace qm::pdf
#endif
