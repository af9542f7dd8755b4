// The stub's handler for an exception that nothing catches. libstdc++'s default, the
// verbose handler, prints the exception's demangled type name, which links in the
// demangler and a complete printf with floating point: over a hundred KiB in a
// program whose whole job is smaller than that, to write to a console that a GUI
// program does not have. Ending the process is all that is left to do then.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
