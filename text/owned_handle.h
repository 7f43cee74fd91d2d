// One owner for a handle of the system (a WinInet handle, a registry key, a socket): the handle is
// closed by its close function when the owner is reset or goes out of scope, exactly once.
#pragma once

#include <utility>

template <typename Handle, auto Close, Handle Empty = Handle{}>
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(Handle handle) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~OwnedHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Empty; }
    // For a call that writes a new handle into a variable: closes the one held first.
    Handle* out() {
        reset();
        return &handle_;
    }
    // Gives the handle up without closing it.
    Handle release() { return std::exchange(handle_, Empty); }
    void reset(Handle handle = Empty) {
        if (handle_ != Empty) Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Empty;
};
