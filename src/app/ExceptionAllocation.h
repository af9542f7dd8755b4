#pragma once
// The stub's own allocation of thrown exceptions (ExceptionAllocation.cpp): the sizes of
// the runtime's headers it places before each thrown object, for the test that holds
// them to the runtime's.
#include <cstddef>

// The whole header: reference count and exception header.
std::size_t ThrownObjectHeaderSize();
// The exception header alone, the part the runtime hands around as the caught exception.
std::size_t ThrownObjectExceptionHeaderSize();
