// The stub's allocation of thrown exceptions, in place of libstdc++'s. Since gcc 13 the
// runtime's version keeps an emergency pool for throwing when memory has run out, sized
// at start-up from the GLIBCXX_TUNABLES environment variable: with its locking and the
// environment parsing, some 2.5 KiB of code. The stub throws only the file layer's
// exception pointers, caught in the package layer; with no memory left for the few dozen
// bytes of one, the installation cannot go on anyway, and ending the process is what the
// runtime does too once its pool is empty.
//
// Each thrown object is preceded by the runtime's header (the Itanium C++ ABI's
// __cxa_refcounted_exception), which the runtime fills in and reads; its layout is fixed
// by that ABI and mirrored here only for its size. The unwinder's part is aligned to the
// largest alignment, so the two structures nest as the runtime's do (96 bytes on i686);
// tests/app checks the size against the runtime's own use of the header.
#include "app/ExceptionAllocation.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <typeinfo>
#include <unwind.h>

namespace {

struct ExceptionHeader {
    std::type_info* exceptionType;
    void (*exceptionDestructor)(void*);
    void (*unexpectedHandler)();
    std::terminate_handler terminateHandler;
    ExceptionHeader* nextException;
    int handlerCount;
    int handlerSwitchValue;
    const unsigned char* actionRecord;
    const unsigned char* languageSpecificData;
    _Unwind_Ptr catchTemp;
    void* adjustedPtr;
    _Unwind_Exception unwindHeader;
};

struct RefcountedExceptionHeader {
    int referenceCount;
    ExceptionHeader exception;
};

constexpr std::size_t kHeaderSize = sizeof(RefcountedExceptionHeader);

}  // namespace

std::size_t ThrownObjectHeaderSize() {
    return kHeaderSize;
}

std::size_t ThrownObjectExceptionHeaderSize() {
    return sizeof(ExceptionHeader);
}

namespace __cxxabiv1 {

extern "C" void* __cxa_allocate_exception(std::size_t thrownSize) noexcept {
    char* block = static_cast<char*>(std::malloc(kHeaderSize + thrownSize));
    if (block == nullptr) {
        std::abort();
    }
    std::memset(block, 0, kHeaderSize);
    return block + kHeaderSize;
}

extern "C" void __cxa_free_exception(void* thrownObject) noexcept {
    std::free(static_cast<char*>(thrownObject) - kHeaderSize);
}

}  // namespace __cxxabiv1
