#pragma once

#include <windows.h>

#include <utility>

namespace kova::win32 {

// Owns one kernel handle; `Invalid` is the value the opening call returns on
// failure (INVALID_HANDLE_VALUE for files, NULL for processes and threads).
// Closing keeps the thread's last error as it was, so that a caller can read
// the error of a failed call even after the handles around it are gone.
template <HANDLE (*Invalid)(), BOOL(WINAPI* Close)(HANDLE)>
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    ~OwnedHandle() { reset(); }

    [[nodiscard]] HANDLE get() const { return handle_; }
    [[nodiscard]] bool valid() const { return handle_ != Invalid(); }
    explicit operator bool() const { return valid(); }

    // Gives up ownership without closing.
    [[nodiscard]] HANDLE release() { return std::exchange(handle_, Invalid()); }

    void reset() {
        if (!valid()) return;
        const DWORD last_error = GetLastError();
        Close(release());
        SetLastError(last_error);
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
