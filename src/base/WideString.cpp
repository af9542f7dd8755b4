#include "base/WideString.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>

namespace {

size_t UnitLength(const char16_t* text) noexcept {
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

}  // namespace

// The body sits right in front of the text that m_data points at:
// [ refs | length | capacity ][ text ... 0 ]
struct WideString::Body {
    std::atomic<long> refs;  // copies may live on other threads
    size_t length;           // units in use, without the terminator
    size_t capacity;         // units the text can hold, without the terminator

    struct EmptyStorage;
    // The one empty body. It is constant-initialised, so strings made by other
    // static initialisers can use it, and it is never counted or freed.
    static EmptyStorage s_empty;
    static constexpr size_t kMaxCapacity = (static_cast<size_t>(-1) / 2 - 64) / sizeof(char16_t);

    char16_t* Text() noexcept { return reinterpret_cast<char16_t*>(this + 1); }
    bool IsEmpty() const noexcept;
    // Only the holder of the single reference may write in place.
    bool IsUnique() const noexcept { return !IsEmpty() && refs.load(std::memory_order_acquire) == 1; }

    static char16_t* EmptyText() noexcept;
    static Body* New(size_t capacity);
    static void AddRef(Body* body) noexcept;
    static void Unref(Body* body) noexcept;
    static size_t Grown(size_t current, size_t needed);
};

struct WideString::Body::EmptyStorage {
    Body body;
    char16_t text[1];
};

WideString::Body::EmptyStorage WideString::Body::s_empty = {{{1}, 0, 0}, {0}};

bool WideString::Body::IsEmpty() const noexcept {
    return this == &s_empty.body;
}

char16_t* WideString::Body::EmptyText() noexcept {
    static_assert(offsetof(EmptyStorage, text) == sizeof(Body), "the text must follow the body");
    return s_empty.text;
}

WideString::Body* WideString::Body::New(size_t capacity) {
    if (capacity > kMaxCapacity) throw std::bad_alloc();
    void* memory = ::operator new(sizeof(Body) + (capacity + 1) * sizeof(char16_t));
    auto* body = static_cast<Body*>(memory);
    body->refs.store(1, std::memory_order_relaxed);
    body->length = 0;
    body->capacity = capacity;
    body->Text()[0] = 0;
    return body;
}

void WideString::Body::AddRef(Body* body) noexcept {
    if (!body->IsEmpty()) body->refs.fetch_add(1, std::memory_order_relaxed);
}

void WideString::Body::Unref(Body* body) noexcept {
    if (body->IsEmpty()) return;
    if (body->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) ::operator delete(body);
}

// Growth for appends: at least half again, so repeated += stays linear.
size_t WideString::Body::Grown(size_t current, size_t needed) {
    if (needed > kMaxCapacity) throw std::bad_alloc();
    size_t grown = current + current / 2;
    if (grown > kMaxCapacity) grown = kMaxCapacity;
    return needed > grown ? needed : grown;
}

WideString::WideString() noexcept : m_data(Body::EmptyText()) {}

WideString::WideString(const char16_t* text) : m_data(Body::EmptyText()) {
    if (text != nullptr) Assign(text, UnitLength(text));
}

WideString::WideString(const char16_t* text, size_t length) : m_data(Body::EmptyText()) {
    if (text != nullptr) Assign(text, length);
}

WideString::WideString(const WideString& other) noexcept : m_data(other.m_data) {
    Body::AddRef(GetBody());
}

WideString::WideString(WideString&& other) noexcept : m_data(other.m_data) {
    other.m_data = Body::EmptyText();
}

WideString& WideString::operator=(const WideString& other) noexcept {
    // Counting the new body first keeps self-assignment safe.
    Body::AddRef(other.GetBody());
    Release();
    m_data = other.m_data;
    return *this;
}

WideString& WideString::operator=(WideString&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = other.m_data;
        other.m_data = Body::EmptyText();
    }
    return *this;
}

WideString& WideString::operator=(const char16_t* text) {
    if (text == nullptr)
        Empty();
    else
        Assign(text, UnitLength(text));
    return *this;
}

WideString::~WideString() {
    Release();
}

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

WideString::WideString(const wchar_t* text) : WideString(reinterpret_cast<const char16_t*>(text)) {}

WideString::WideString(const wchar_t* text, size_t length)
    : WideString(reinterpret_cast<const char16_t*>(text), length) {}
#endif

WideString::Body* WideString::GetBody() const noexcept {
    return reinterpret_cast<Body*>(m_data) - 1;
}

size_t WideString::GetLength() const noexcept {
    return GetBody()->length;
}

const char16_t* WideString::c_str() const noexcept {
    return m_data;
}

char16_t WideString::operator[](size_t index) const noexcept {
    return index < GetLength() ? m_data[index] : 0;
}

void WideString::Empty() noexcept {
    Release();
    m_data = Body::EmptyText();
}

// The text may lie inside our own body: the new body is filled before the old one goes.
void WideString::Assign(const char16_t* text, size_t length) {
    if (length == 0) {
        Empty();
        return;
    }
    Body* body = Body::New(length);
    std::memcpy(body->Text(), text, length * sizeof(char16_t));
    body->Text()[length] = 0;
    body->length = length;
    Release();
    m_data = body->Text();
}

void WideString::Release() noexcept {
    Body::Unref(GetBody());
}

char16_t* WideString::GetBuffer(size_t minLength) {
    Body* body = GetBody();
    bool shared = !body->IsUnique();
    if (!shared && body->capacity >= minLength) return m_data;
    Body* fresh = Body::New(minLength > body->length ? minLength : body->length);
    std::memcpy(fresh->Text(), m_data, (body->length + 1) * sizeof(char16_t));
    fresh->length = body->length;
    Release();
    m_data = fresh->Text();
    return m_data;
}

void WideString::ReleaseBuffer(size_t newLength) noexcept {
    Body* body = GetBody();
    if (body->IsEmpty()) return;  // no buffer was handed out
    size_t length = 0;
    if (newLength == npos) {
        while (length < body->capacity && m_data[length] != 0) ++length;
    } else {
        length = newLength < body->capacity ? newLength : body->capacity;
    }
    if (length == 0) {
        Empty();
        return;
    }
    body->length = length;
    m_data[length] = 0;
}

WideString& WideString::operator+=(const WideString& other) {
    if (IsEmpty()) return *this = other;
    Append(other.m_data, other.GetLength());
    return *this;
}

WideString& WideString::operator+=(const char16_t* text) {
    if (text != nullptr) Append(text, UnitLength(text));
    return *this;
}

// The text may be this string's own (a copy sharing the body, or a tail of it): the
// length is read before it changes, and an in-place append moves rather than copies.
void WideString::Append(const char16_t* text, size_t count) {
    if (count == 0) return;
    Body* body = GetBody();
    size_t length = body->length;
    if (count > Body::kMaxCapacity - length) throw std::bad_alloc();
    if (body->IsUnique() && body->capacity >= length + count) {
        std::memmove(m_data + length, text, count * sizeof(char16_t));
    } else {
        Body* fresh = Body::New(Body::Grown(body->capacity, length + count));
        std::memcpy(fresh->Text(), m_data, length * sizeof(char16_t));
        std::memcpy(fresh->Text() + length, text, count * sizeof(char16_t));
        Release();
        m_data = fresh->Text();
        body = fresh;
    }
    body->length = length + count;
    m_data[length + count] = 0;
}

WideString& WideString::operator+=(char16_t unit) {
    Append(&unit, 1);
    return *this;
}

WideString operator+(const WideString& a, const WideString& b) {
    if (a.IsEmpty()) return b;
    if (b.IsEmpty()) return a;
    size_t aLength = a.GetLength();
    size_t bLength = b.GetLength();
    WideString result;
    char16_t* text = result.GetBuffer(aLength + bLength);
    std::memcpy(text, a.c_str(), aLength * sizeof(char16_t));
    std::memcpy(text + aLength, b.c_str(), bLength * sizeof(char16_t));
    result.ReleaseBuffer(aLength + bLength);
    return result;
}

WideString operator+(const WideString& a, const char16_t* b) {
    return a + WideString(b);
}

WideString operator+(const char16_t* a, const WideString& b) {
    return WideString(a) + b;
}

namespace {

int CompareUnits(const char16_t* a, size_t aLength, const char16_t* b, size_t bLength) noexcept {
    size_t common = aLength < bLength ? aLength : bLength;
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    if (aLength == bLength) return 0;
    return aLength < bLength ? -1 : 1;
}

}  // namespace

int WideString::Compare(const WideString& other) const noexcept {
    if (m_data == other.m_data) return 0;
    return CompareUnits(m_data, GetLength(), other.m_data, other.GetLength());
}

int WideString::Compare(const char16_t* other) const noexcept {
    if (other == nullptr) return IsEmpty() ? 0 : 1;
    return CompareUnits(m_data, GetLength(), other, UnitLength(other));
}
