#pragma once
// COM for the calling thread while the object lives; the WIC decoder and the Direct3D device
// rely on it.
// Implements: apartment-threaded initialisation and its matching uninitialisation. Not
// implemented: other threading models.
#include <objbase.h>

namespace backends::win32 {

class ComScope {
public:
    ComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};

}  // namespace backends::win32
