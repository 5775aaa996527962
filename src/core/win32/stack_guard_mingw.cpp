// The stack-cookie value and the failure paths of GCC's -fstack-protector and
// -D_FORTIFY_SOURCE, for MinGW-w64 builds (MSVC's /GS has its own). GCC's
// libssp would set the cookie through CryptAcquireContext, which loads a whole
// cryptographic provider and costs every start about 11 ms under Wine; the
// system's random generator (RtlGenRandom) gives it for about 1 ms. Defined
// here, in kova_core, which every executable of the project links before
// libssp, these symbols keep libssp's set-up out of the executable.
#include <windows.h>

#include <cstdint>

#if !defined(__SSP_STRONG__) || !defined(_FORTIFY_SOURCE) || _FORTIFY_SOURCE < 2
#error "MinGW-w64 builds compile everything with -fstack-protector-strong and -D_FORTIFY_SOURCE=2"
#endif

extern "C" {

// RtlGenRandom, exported by ADVAPI32 under this name.
BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

// A fixed value until the constructor below runs, as in libssp.
std::uintptr_t __stack_chk_guard = 0x00000AFF0DF0ADBAu;

// An overwritten cookie or a checked call out of bounds: the process ends at
// once with the status Windows gives a failed stack-cookie check, running
// nothing more of a corrupted process.
[[noreturn]] void __stack_chk_fail() {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_STACK_BUFFER_OVERRUN));
    __builtin_trap();
}

[[noreturn]] void __chk_fail() { __stack_chk_fail(); }

}  // extern "C"

namespace {

// Before any other constructor, and so before main; itself without a cookie,
// since the one it would check on return is the one it changes.
__attribute__((constructor(101), no_stack_protector)) void set_stack_guard() {
    std::uintptr_t value = 0;
    if (SystemFunction036(&value, sizeof value) && value != 0) __stack_chk_guard = value;
}

}  // namespace
