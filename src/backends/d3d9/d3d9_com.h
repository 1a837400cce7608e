#pragma once
// Direct3D 9 for this backend, and one owner per COM reference, so that every Direct3D
// object is released exactly once.
#include <utility>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <d3d9.h>

namespace backends::d3d9 {

template <class T>
class Com {
public:
    Com() = default;
    // Takes over a reference the caller already holds (what a creating call hands out).
    explicit Com(T* pointer) : pointer_(pointer) {}
    Com(const Com& other) : pointer_(other.pointer_) {
        if (pointer_) pointer_->AddRef();
    }
    Com(Com&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    Com& operator=(Com other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~Com() {
        if (pointer_) pointer_->Release();
    }

    // A reference of our own to an object someone else holds.
    static Com share(T* pointer) {
        if (pointer) pointer->AddRef();
        return Com(pointer);
    }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // The slot for a call's out parameter; what was held is released first.
    T** put() {
        *this = Com();
        return &pointer_;
    }

private:
    T* pointer_ = nullptr;
};

}  // namespace backends::d3d9
