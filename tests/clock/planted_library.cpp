// A library planted in a program's working folder under the name of one it needs: its
// constructor appends its own file name to ./planted-library-ran. Built as a filter of the real
// ICU library, so that a program that loads it in ICU's place still runs.

#include <dlfcn.h>

#include <fstream>

__attribute__((constructor)) static void planted()
{
    Dl_info info{};
    std::ofstream("planted-library-ran", std::ios::app) << (::dladdr(reinterpret_cast<void*>(&planted), &info) ? info.dli_fname : "?") << '\n';
}
