// The program's terminate handler. libstdc++'s default one prints the demangled type of an uncaught
// exception to stderr, and names it with the C++ demangler (about 45 KiB of the executable); a GUI
// program has no stderr to print to. This definition is linked into the executable itself, so the
// linker never takes libstdc++'s, and ends the process as std::abort does, as the default one does
// after it has printed.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

} // namespace __gnu_cxx
