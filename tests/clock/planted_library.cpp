// A library planted in a program's working folder under the name of one it needs: its
// constructor appends its own file name to ./planted-library-ran. Built as a filter of the real
// ICU library, so that a program that loads it in ICU's place still runs.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

__attribute__((constructor)) static void planted()
{
    Dl_info info{};
    const char* name = ::dladdr(reinterpret_cast<void*>(&planted), &info) && info.dli_fname ? info.dli_fname : "?";
    const int fd = ::open("planted-library-ran", O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        (void)!::write(fd, name, std::strlen(name));
        (void)!::write(fd, "\n", 1);
        ::close(fd);
    }
}
