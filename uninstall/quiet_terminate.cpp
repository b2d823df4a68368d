// uninstall/quiet_terminate.cpp: what std::terminate does in the shipped program.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx
{

// The C++ runtime's own handler writes the exception's demangled type to the standard error, which
// a program without a console does not have, and then aborts. Ending the same way without it keeps
// the demangler, a sixth of the program's size, out of the file.
void __verbose_terminate_handler()
{
    std::abort();
}

} // namespace __gnu_cxx
