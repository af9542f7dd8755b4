// Reference-counted, copy-on-write string of UTF-16 code units.
// Copies share one body until one of them changes; the empty string is one shared
// constant that is never freed. Every path, command line and text is one of these.
// At Win32 calls the text is handed over as const wchar_t* (w_str()).
#pragma once

#include <cstdarg>
#include <cstddef>

class WideString {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    WideString() noexcept;
    WideString(const char16_t* text);  // null gives the empty string
    WideString(std::nullptr_t) noexcept : WideString() {}  // unambiguous where wchar_t text is taken too
    WideString(const char16_t* text, size_t length);
    WideString(const WideString& other) noexcept;
    WideString(WideString&& other) noexcept;
    WideString& operator=(const WideString& other) noexcept;
    WideString& operator=(WideString&& other) noexcept;
    WideString& operator=(const char16_t* text);
    ~WideString();

#ifdef _WIN32
    WideString(const wchar_t* text);
    WideString(const wchar_t* text, size_t length);
    const wchar_t* w_str() const noexcept { return reinterpret_cast<const wchar_t*>(c_str()); }
#endif

    size_t GetLength() const noexcept;
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    // Always zero-terminated, never null.
    const char16_t* c_str() const noexcept;
    char16_t operator[](size_t index) const noexcept;
    void Empty() noexcept;

    // Unshares the body and makes room for at least minLength units plus the
    // terminator; the caller writes, then calls ReleaseBuffer. Throws std::bad_alloc.
    char16_t* GetBuffer(size_t minLength);
    // Sets the length (npos: up to the first zero unit) and terminates.
    void ReleaseBuffer(size_t newLength = npos) noexcept;

    WideString& operator+=(const WideString& other);
    WideString& operator+=(const char16_t* text);
    WideString& operator+=(char16_t unit);
    friend WideString operator+(const WideString& a, const WideString& b);
    friend WideString operator+(const WideString& a, const char16_t* b);
    friend WideString operator+(const char16_t* a, const WideString& b);

    // Code-unit order: negative, zero or positive.
    int Compare(const WideString& other) const noexcept;
    int Compare(const char16_t* other) const noexcept;
    friend bool operator==(const WideString& a, const WideString& b) noexcept { return a.Compare(b) == 0; }
    friend bool operator!=(const WideString& a, const WideString& b) noexcept { return a.Compare(b) != 0; }
    friend bool operator<(const WideString& a, const WideString& b) noexcept { return a.Compare(b) < 0; }
    friend bool operator==(const WideString& a, const char16_t* b) noexcept { return a.Compare(b) == 0; }
    friend bool operator!=(const WideString& a, const char16_t* b) noexcept { return a.Compare(b) != 0; }

    // printf-style formatting into this string, sized to fit (never cut).
    // Conversions: %s (const char16_t*; on Windows const wchar_t* too), %d %i %u %x %X
    // (32-bit), %c (a UTF-16 unit), %%; flags - + space # 0, width and precision (also *).
    // An unknown conversion is copied as it stands. Returns false only for a null format.
    bool Format(const char16_t* format, ...);
    bool FormatV(const char16_t* format, va_list args);

#ifdef _WIN32
    // Loads string resource id of the running executable; true when non-empty.
#pragma push_macro("LoadString")
#undef LoadString
    bool LoadString(unsigned id);
    // <windows.h> renames LoadString to LoadStringW in the files that include it.
    bool LoadStringW(unsigned id) { return LoadString(id); }
#pragma pop_macro("LoadString")
    // Loads the format from string resource formatId, then formats as above.
    bool Format(unsigned formatId, ...);
#endif

    // True when both share one body (for tests of the copy-on-write contract).
    bool SharesBodyWith(const WideString& other) const noexcept { return m_data == other.m_data; }

private:
    struct Body;
    Body* GetBody() const noexcept;
    void Assign(const char16_t* text, size_t length);
    void Append(const char16_t* text, size_t count);
    void Release() noexcept;

    char16_t* m_data;  // points at the text inside a Body
};
