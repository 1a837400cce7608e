#include "backends/win32/wic_image_decoder.h"

#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include "backends/win32/system_error.h"

namespace backends::win32 {

using Microsoft::WRL::ComPtr;

namespace {
// Larger pictures are refused rather than risking an allocation that cannot succeed.
constexpr unsigned long long kMaxPixels = 1ull << 28;
}  // namespace

struct WicImageDecoder::Com {
    bool uninitialise = false;
    HRESULT factoryResult = E_FAIL;
    ComPtr<IWICImagingFactory> factory;
};

WicImageDecoder::WicImageDecoder() : com_(std::make_unique<Com>()) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE (already initialised) needs its own uninitialise too; another threading model
    // already set up on this thread serves as well.
    com_->uninitialise = SUCCEEDED(init);
    com_->factoryResult = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_PPV_ARGS(&com_->factory));
}

WicImageDecoder::~WicImageDecoder() {
    const bool uninitialise = com_->uninitialise;
    com_.reset();  // the factory goes before COM does
    if (uninitialise) CoUninitialize();
}

base::Result<base::Image> WicImageDecoder::decodeBytes(std::span<const std::uint8_t> bytes) {
    if (!com_->factory)
        return base::Failure{describeHresult("the imaging component is not available", com_->factoryResult)};
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu)
        return base::Failure{"no picture of a size that can be read"};
    ComPtr<IWICStream> stream;
    HRESULT hr = com_->factory->CreateStream(&stream);
    if (FAILED(hr)) return base::Failure{describeHresult("no stream for the picture", hr)};
    hr = stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    if (FAILED(hr)) return base::Failure{describeHresult("no stream for the picture", hr)};
    ComPtr<IWICBitmapDecoder> decoder;
    hr =
        com_->factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnLoad, &decoder);
    if (FAILED(hr)) return base::Failure{describeHresult("not a picture the system can decode", hr)};
    return firstFrame(decoder.Get());
}

base::Result<base::Image> WicImageDecoder::firstFrame(IWICBitmapDecoder* decoder) {
    ComPtr<IWICBitmapFrameDecode> frame;
    HRESULT hr = decoder->GetFrame(0, &frame);
    if (FAILED(hr)) return base::Failure{describeHresult("its first frame cannot be read", hr)};
    ComPtr<IWICFormatConverter> converter;
    hr = com_->factory->CreateFormatConverter(&converter);
    if (FAILED(hr)) return base::Failure{describeHresult("no format converter", hr)};
    // 32bppBGRA words in memory are 0xAARRGGBB; alpha is straight, and opaque for formats without.
    hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                               0.0, WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) return base::Failure{describeHresult("cannot be converted to 32-bit colour", hr)};
    UINT width = 0, height = 0;
    hr = converter->GetSize(&width, &height);
    if (FAILED(hr)) return base::Failure{describeHresult("its size cannot be read", hr)};
    if (width == 0 || height == 0) return base::Failure{"the picture is empty"};
    if (static_cast<unsigned long long>(width) * height > kMaxPixels || width > 0x7FFFFFFFu / 4)
        return base::Failure{"the picture is too large"};

    base::Image image(static_cast<int>(width), static_cast<int>(height));
    const UINT stride = width * 4;
    hr = converter->CopyPixels(nullptr, stride, static_cast<UINT>(image.pixels.size() * 4),
                               reinterpret_cast<BYTE*>(image.pixels.data()));
    if (FAILED(hr)) return base::Failure{describeHresult("its pixels cannot be read", hr)};
    return image;
}

}  // namespace backends::win32
