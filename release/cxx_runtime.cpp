// cxx_runtime.cpp -- the release build's stand-ins for the C++ library's
// failure paths. The show is built without exceptions, so wherever the
// library would throw (a lock that cannot be taken, memory that cannot be
// had) the process ends through std::terminate and abort() in build/tavimo
// too; here abort() is called directly. Linked into the release build only:
// the library's own versions would bring its exception handling, unwinder and
// symbol demangler into the executable, some 67 KB of code (34 KB packed) for
// paths that never return.
#include <bits/functexcept.h>

#include <cstdlib>
#include <new>

namespace std {

void __throw_system_error(int) { abort(); }
void __throw_bad_alloc(void) { abort(); }
void __throw_length_error(const char*) { abort(); }

}  // namespace std

// Memory that cannot be had ends the process, as an uncaught bad_alloc does.
void* operator new(std::size_t size)
{
    void* p = malloc(size ? size : 1);
    if (!p)
        abort();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
