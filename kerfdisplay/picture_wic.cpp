// picture_wic.cpp - PNG output on Windows through the Windows Imaging Component, which every
// Windows has, so that the program needs no image library beside it.
#include "picture.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <initguid.h>  // the codec GUIDs are defined here, not taken from a library
#include <wincodec.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

// Releases a COM interface at the end of its scope.
template <typename T>
struct Held {
  T* p = nullptr;
  ~Held() {
    if (p != nullptr) p->Release();
  }
  T** out() { return &p; }
  T* operator->() const { return p; }
};

// The name in the program's code page, as the command line gave it, turned into the wide
// characters that WIC opens files by.
std::wstring wide(const char* name) {
  int length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name, -1, &result[0], length);
  result.resize(static_cast<std::size_t>(length - 1));
  return result;
}

// Writes the picture through a stream onto the named file; false at the first step that fails.
bool encode(IWICImagingFactory* factory, IWICStream* stream, const BYTE* bgr, UINT width,
            UINT height) {
  Held<IWICBitmapEncoder> encoder;
  Held<IWICBitmapFrameEncode> frame;
  if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) ||
      FAILED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.out(), nullptr)) ||
      FAILED(frame->Initialize(nullptr)) || FAILED(frame->SetSize(width, height)))
    return false;
  // The encoder may answer with another format than the one asked for; then the bytes would
  // be read wrongly, so that is a failure too.
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
    return false;
  UINT stride = width * 3;
  return SUCCEEDED(frame->WritePixels(height, stride, stride * height, const_cast<BYTE*>(bgr))) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

bool write_with_wic(const std::wstring& name, const BYTE* bgr, UINT width, UINT height) {
  Held<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(factory.out()))))
    return false;
  bool written;
  {
    Held<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromFilename(name.c_str(), GENERIC_WRITE)))
      return false;
    written = encode(factory.p, stream.p, bgr, width, height);
  }  // the file is closed here
  // No half-written picture is left behind to pass for a whole one.
  if (!written) DeleteFileW(name.c_str());
  return written;
}

}  // namespace

bool write_png(const char* name, const unsigned char* rgb, int width, int height) {
  if (width <= 0 || height <= 0) return false;
  std::wstring wide_name = wide(name);
  if (wide_name.empty()) return false;
  // OpenGL reads bottom-up in RGB order; the encoder takes rows top-down, in BGR order.
  std::size_t row = static_cast<std::size_t>(width) * 3;
  std::vector<BYTE> bgr(row * static_cast<std::size_t>(height));
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const unsigned char* from = rgb + (static_cast<std::size_t>(height) - 1 - y) * row;
    BYTE* to = &bgr[y * row];
    for (std::size_t x = 0; x < row; x += 3) {
      to[x] = from[x + 2];
      to[x + 1] = from[x + 1];
      to[x + 2] = from[x];
    }
  }
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool written = write_with_wic(wide_name, bgr.data(), static_cast<UINT>(width), static_cast<UINT>(height));
  if (SUCCEEDED(com)) CoUninitialize();
  return written;
}
