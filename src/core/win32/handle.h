#pragma once

#include <windows.h>

#include <utility>

namespace kova::win32 {

// Owns one kernel handle; `Invalid` is the value the opening call returns on
// failure (INVALID_HANDLE_VALUE for files, NULL for processes and threads).
template <HANDLE (*Invalid)(), BOOL(WINAPI* Close)(HANDLE)>
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, Invalid())) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Invalid());
        }
        return *this;
    }
    ~OwnedHandle() { reset(); }

    [[nodiscard]] HANDLE get() const { return handle_; }
    [[nodiscard]] bool valid() const { return handle_ != Invalid(); }
    explicit operator bool() const { return valid(); }

    void reset() {
        if (valid()) Close(handle_);
        handle_ = Invalid();
    }

private:
    HANDLE handle_ = Invalid();
};

inline HANDLE invalid_file_handle() { return INVALID_HANDLE_VALUE; }
inline HANDLE null_handle() { return nullptr; }

using FileHandle = OwnedHandle<invalid_file_handle, CloseHandle>;    // CreateFileW
using FindHandle = OwnedHandle<invalid_file_handle, FindClose>;      // FindFirstFileExW
using KernelHandle = OwnedHandle<null_handle, CloseHandle>;          // processes, threads, duplicates

}  // namespace kova::win32
