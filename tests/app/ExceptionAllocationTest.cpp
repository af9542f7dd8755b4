// The stub's allocation of thrown exceptions places the runtime's headers where the
// runtime looks for them: the caught exception's header just before the thrown object,
// and the reference count, which the runtime sets to one when it throws, at the start
// of the whole header.
#include "app/ExceptionAllocation.h"

#include <cxxabi.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

// The first field of the runtime's per-thread globals: the exception being handled.
const char* CaughtExceptionHeader() {
    return *reinterpret_cast<char* const*>(abi::__cxa_get_globals());
}

// Caught by reference, a class or an arithmetic type is the thrown object; a caught pointer is
// the runtime's adjusted copy of the thrown one, so none is here.
template <typename Thrown>
void ExpectHeadersFound(Thrown value) {
    try {
        throw value;
    } catch (Thrown& caught) {
        const char* object = reinterpret_cast<const char*>(&caught);
        EXPECT_EQ(object - CaughtExceptionHeader(), static_cast<std::ptrdiff_t>(ThrownObjectExceptionHeaderSize()));
        EXPECT_EQ(*reinterpret_cast<const int*>(object - ThrownObjectHeaderSize()), 1);
        EXPECT_EQ(typeid(caught), typeid(value));
    }
}

}  // namespace

TEST(ExceptionAllocation, RuntimeFindsItsHeaders) {
    ExpectHeadersFound(42);
    ExpectHeadersFound(std::string(100, 'x'));
    ExpectHeadersFound(std::runtime_error("a class with a virtual table"));
}

TEST(ExceptionAllocation, NestedAndRethrownExceptionsKeepTheirObjects) {
    try {
        try {
            throw std::string("outer");
        } catch (std::string& outer) {
            try {
                throw 7;
            } catch (int inner) {
                EXPECT_EQ(inner, 7);
            }
            EXPECT_EQ(outer, "outer");
            throw;
        }
    } catch (const std::string& again) {
        EXPECT_EQ(again, "outer");
    }
}
