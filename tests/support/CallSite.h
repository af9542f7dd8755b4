// Where a test helper was called from. A helper takes `CallSite at = {}` last: the
// default arguments are evaluated at the call, so a failure inside the helper points
// at the line (the matrix row) that called it, not at the helper.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

class CallSite {
public:
    // Implicit on purpose, so that `= {}` takes the caller's place.
    CallSite(const char* file = __builtin_FILE(), int line = __builtin_LINE()) : m_file(file), m_line(line) {}

    const char* File() const { return m_file; }
    int Line() const { return m_line; }

private:
    const char* m_file;
    int m_line;
};

// Marks every failure in the enclosing scope with the caller's place.
#define SFX_TRACE_CALLER(at) \
    const ::testing::ScopedTrace sfxCallerTrace((at).File(), (at).Line(), "called here")

// Records a failure at the caller's place, with the traces active there, and ends
// the test.
[[noreturn]] inline void FailAt(const CallSite& at, const std::string& message) {
    ADD_FAILURE_AT(at.File(), at.Line()) << message;
    throw std::runtime_error(message);
}
