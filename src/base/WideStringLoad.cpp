// Texts from the executable's string table.
#include "base/WideString.h"

#include <windows.h>
// Our member carries the plain name.
#undef LoadString

#include <new>

namespace {

constexpr int kFirstCapacity = 256;
constexpr int kCapacityStep = 256;

// LoadStringW cuts a text to capacity - 1 units, so a text that fills the buffer may be longer.
bool MayBeCut(int capacity, int length) { return capacity - length <= 1; }

}  // namespace

bool WideString::LoadString(unsigned id) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    wchar_t buffer[kFirstCapacity] = {};
    int length = ::LoadStringW(module, id, buffer, kFirstCapacity);
    if (!MayBeCut(kFirstCapacity, length)) {
        *this = WideString(buffer, length > 0 ? static_cast<size_t>(length) : 0);
        return length > 0;
    }
    for (int capacity = kFirstCapacity + kCapacityStep;; capacity += kCapacityStep) {
        char16_t* text = nullptr;
        try {
            text = GetBuffer(static_cast<size_t>(capacity - 1));
        } catch (const std::bad_alloc&) {
            Empty();
            return false;
        }
        length = ::LoadStringW(module, id, reinterpret_cast<wchar_t*>(text), capacity);
        if (!MayBeCut(capacity, length)) break;
    }
    ReleaseBuffer();
    return GetLength() > 0;
}

bool WideString::Format(unsigned formatId, ...) {
    WideString format;
    format.LoadString(formatId);
    va_list args;
    va_start(args, formatId);
    bool result = FormatV(format.c_str(), args);
    va_end(args);
    return result;
}
