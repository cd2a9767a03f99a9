#include "platform/win32/Win32PictureLoader.h"

#include <windows.h>
// After windows.h:
#include <wincodec.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "res/ColorScheme.h"
#include "res/ControlIds.h"

namespace vexlo::platform::win32 {

namespace {

// A COM object released at the end of its scope.
template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (object_ != nullptr) object_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** put() { return &object_; }
  void** putVoid() { return reinterpret_cast<void**>(&object_); }
  T* get() const { return object_; }
  T* operator->() const { return object_; }

 private:
  T* object_ = nullptr;
};

// Pixels as 32-bit premultiplied BGRA, rows top down.
struct Pixels {
  LONG width = 0;
  LONG height = 0;
  std::vector<BYTE> bgra;
};

// The largest size of a width x height picture's proportions inside the box.
SIZE FitInside(SIZE box, UINT width, UINT height) {
  const LONG scaledWidth = static_cast<LONG>(static_cast<long long>(box.cy) * width / height);
  if (scaledWidth <= box.cx) return {std::max(1L, scaledWidth), box.cy};
  return {box.cx, std::max(1L, static_cast<LONG>(static_cast<long long>(box.cx) * height / width))};
}

// The image in `bytes` (any format WIC reads: the first frame), scaled to fit the box.
std::optional<Pixels> DecodeToFit(BYTE* bytes, DWORD size, SIZE box) {
  Com<IWICImagingFactory> factory;
  Com<IWICStream> stream;
  Com<IWICBitmapDecoder> decoder;
  Com<IWICBitmapFrameDecode> frame;
  Com<IWICFormatConverter> converter;
  Com<IWICBitmapScaler> scaler;
  HRESULT result = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, factory.putVoid());
  if (SUCCEEDED(result)) result = factory->CreateStream(stream.put());
  if (SUCCEEDED(result)) result = stream->InitializeFromMemory(bytes, size);
  if (SUCCEEDED(result)) {
    result = factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.put());
  }
  if (SUCCEEDED(result)) result = decoder->GetFrame(0, frame.put());
  if (SUCCEEDED(result)) result = factory->CreateFormatConverter(converter.put());
  if (SUCCEEDED(result)) {
    result =
        converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                              nullptr, 0.0, WICBitmapPaletteTypeCustom);
  }
  UINT width = 0;
  UINT height = 0;
  if (SUCCEEDED(result)) result = converter->GetSize(&width, &height);
  if (FAILED(result) || width == 0 || height == 0) return std::nullopt;
  const SIZE fit = FitInside(box, width, height);
  Pixels pixels{fit.cx, fit.cy, std::vector<BYTE>(static_cast<std::size_t>(fit.cx) * fit.cy * 4)};
  result = factory->CreateBitmapScaler(scaler.put());
  if (SUCCEEDED(result)) {
    result = scaler->Initialize(converter.get(), static_cast<UINT>(fit.cx),
                                static_cast<UINT>(fit.cy), WICBitmapInterpolationModeFant);
  }
  if (SUCCEEDED(result)) {
    result = scaler->CopyPixels(nullptr, static_cast<UINT>(fit.cx) * 4,
                                static_cast<UINT>(pixels.bgra.size()), pixels.bgra.data());
  }
  if (FAILED(result)) return std::nullopt;
  return pixels;
}

// A box-sized 32-bit bitmap with the image centred in it over `background`.
HBITMAP BlendCentred(const Pixels& image, SIZE box, res::colors::Rgb background) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = box.cx;
  info.bmiHeader.biHeight = -box.cy;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  auto* out = static_cast<BYTE*>(bits);
  const LONG left = (box.cx - image.width) / 2;
  const LONG top = (box.cy - image.height) / 2;
  const BYTE behind[3] = {background.blue, background.green, background.red};
  for (LONG y = 0; y < box.cy; ++y) {
    for (LONG x = 0; x < box.cx; ++x) {
      BYTE* pixel = out + (static_cast<std::size_t>(y) * box.cx + x) * 4;
      const bool inside = x >= left && x < left + image.width && y >= top && y < top + image.height;
      const BYTE* source =
          inside ? image.bgra.data() +
                       (static_cast<std::size_t>(y - top) * image.width + (x - left)) * 4
                 : nullptr;
      const int alpha = source != nullptr ? source[3] : 0;
      for (int c = 0; c < 3; ++c) {
        pixel[c] = static_cast<BYTE>((source != nullptr ? source[c] : 0) +
                                     behind[c] * (255 - alpha) / 255);
      }
      pixel[3] = 255;
    }
  }
  return bitmap;
}

HBITMAP LoadPicture(SIZE box, res::colors::Rgb background) {
  HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(res::kBitmapAbout),
                                MAKEINTRESOURCEW(10));  // RT_RCDATA (narrow in this build)
  if (found == nullptr || box.cx <= 0 || box.cy <= 0) return nullptr;
  auto* bytes = static_cast<BYTE*>(::LockResource(::LoadResource(nullptr, found)));
  const std::optional<Pixels> image = DecodeToFit(bytes, ::SizeofResource(nullptr, found), box);
  return image ? BlendCentred(*image, box, background) : nullptr;
}

}  // namespace

void* ShowAboutPicture(HWND picture) {
  RECT area{};
  ::GetClientRect(picture, &area);
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HBITMAP bitmap = LoadPicture({area.right, area.bottom},
                               res::colors::ColorsOf(res::colors::Surface::kStatic)->background);
  if (SUCCEEDED(com)) ::CoUninitialize();
  if (bitmap != nullptr) {
    ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  }
  return bitmap;
}

}  // namespace vexlo::platform::win32
