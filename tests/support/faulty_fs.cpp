// Preloaded into the server: a directory read again after a rewind yields nothing (smbnetfs),
// and no byte of a file past 1 MiB can be read by sendfile() or pread(), which fail with the
// errno HARNOW_FAULT_ERRNO (a killed FUSE daemon's ENOTCONN, say).
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/sendfile.h>
#include <unistd.h>

const off_t READABLE = 1 << 20;

static ssize_t fail()
{
    errno = std::atoi(std::getenv("HARNOW_FAULT_ERRNO"));
    return -1;
}

extern "C" void rewinddir(DIR* stream)
{
    while (::readdir(stream)) {
    }
}

// The C library's own functions go by their 64-bit names on every machine.
extern "C" ssize_t sendfile(int out, int in, off_t* offset, size_t count)
{
    static auto real = reinterpret_cast<decltype(&sendfile)>(::dlsym(RTLD_NEXT, "sendfile64"));
    off_t at = offset ? *offset : ::lseek(in, 0, SEEK_CUR);
    return at < READABLE ? real(out, in, offset, std::min(count, size_t(READABLE - at))) : fail();
}

extern "C" ssize_t pread(int descriptor, void* buffer, size_t count, off_t offset)
{
    static auto real = reinterpret_cast<decltype(&pread)>(::dlsym(RTLD_NEXT, "pread64"));
    return offset < READABLE ? real(descriptor, buffer, count, offset) : fail();
}
