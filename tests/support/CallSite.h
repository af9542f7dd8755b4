// Where a test helper was called from. A helper takes `CallSite at = {}` last: the
// default arguments are evaluated at the call, so a failure inside the helper points
// at the line (the matrix row) that called it, not at the helper.
#pragma once

#include <gtest/gtest.h>

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
