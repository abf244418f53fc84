// The colour of a JPEG image on Windows: decoded by the Windows Imaging
// Component (the system's own JPEG decoder), the same rule as with libjpeg
// elsewhere: a pixel whose components differ by more than `slack` is colour,
// a one-component image is neutral, anything that does not decode unknown.
#if defined(_WIN32)
#include <windows.h>
#include <wincodec.h>

#include <cstdlib>

#include "pcl/jpeg_accurate.h"
#include "pcl/raster_accurate.h"

namespace qm::pclraster {
namespace {

// Releases a COM interface at the end of its scope.
template <typename T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p != nullptr) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

// COM for this thread for as long as the object lives, unless the thread
// already has it (in any model: the imaging objects work in both).
struct ComScope {
    HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ~ComScope() {
        if (SUCCEEDED(hr)) ::CoUninitialize();
    }
    bool usable() const { return SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE; }
};

JpegColour Decode(Bytes jpeg, int slack) {
    Ref<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(&factory))))
        return JpegColour::Unknown;
    Ref<IWICStream> stream;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(jpeg.data), jpeg.size)))
        return JpegColour::Unknown;
    Ref<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, &decoder)) ||
        FAILED(decoder->Initialize(stream.p, WICDecodeMetadataCacheOnDemand)))
        return JpegColour::Unknown;
    Ref<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
    if (FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height)) ||
        FAILED(frame->GetPixelFormat(&format)))
        return JpegColour::Unknown;
    if (IsEqualGUID(format, GUID_WICPixelFormat8bppGray)) return JpegColour::Neutral;
    if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) || uint64_t{width} * height > kJpegMaxPixels)
        return JpegColour::Unknown;
    // Rows as RGB, one at a time (the frame decodes as it is read).
    Ref<IWICFormatConverter> rgb;
    if (FAILED(factory->CreateFormatConverter(&rgb)) ||
        FAILED(rgb->Initialize(frame.p, GUID_WICPixelFormat24bppRGB, WICBitmapDitherTypeNone, nullptr, 0.0,
                               WICBitmapPaletteTypeCustom)))
        return JpegColour::Unknown;
    const UINT rowBytes = width * 3u;
    unsigned char* row = static_cast<unsigned char*>(std::malloc(rowBytes));
    if (row == nullptr) return JpegColour::Unknown;
    JpegColour result = JpegColour::Neutral;
    for (UINT y = 0; y < height; ++y) {
        const WICRect line{0, static_cast<INT>(y), static_cast<INT>(width), 1};
        if (FAILED(rgb->CopyPixels(&line, rowBytes, rowBytes, row))) {
            result = JpegColour::Unknown;
            break;
        }
        if (!RgbNeutral(row, width, slack)) {
            result = JpegColour::Colour;
            break;
        }
    }
    std::free(row);
    return result;
}

}  // namespace

JpegColour ColourOfJpeg(Bytes jpeg, int slack) noexcept {
    if (jpeg.size < 4) return JpegColour::Unknown;
    ComScope com;
    if (!com.usable()) return JpegColour::Unknown;
    return Decode(jpeg, slack);
}

}  // namespace qm::pclraster
#endif
