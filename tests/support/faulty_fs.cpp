// Preloaded into the server, it fails as network and FUSE file systems were seen to: a directory
// stream read again after a rewind yields nothing (smbnetfs), and no byte of a file past 1 MiB
// can be read, by sendfile() or pread(), the error being HARNOW_FAULT_ERRNO (a killed daemon).
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace {

const off_t READABLE = 1 << 20;

ssize_t fail()
{
    errno = std::atoi(std::getenv("HARNOW_FAULT_ERRNO"));
    return -1;
}

// The C library's own, past this one; its 64-bit names hold on every machine.
template <class Function> Function* next(const char* name)
{
    return reinterpret_cast<Function*>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

void rewinddir(DIR* stream)
{
    while (::readdir(stream)) {
    }
}

ssize_t sendfile(int out, int in, off_t* offset, size_t count)
{
    static auto* real = next<ssize_t(int, int, off_t*, size_t)>("sendfile64");
    off_t at = offset ? *offset : ::lseek(in, 0, SEEK_CUR);
    return at >= READABLE ? fail() : real(out, in, offset, std::min(count, size_t(READABLE - at)));
}

ssize_t pread(int descriptor, void* buffer, size_t count, off_t offset)
{
    static auto* real = next<ssize_t(int, void*, size_t, off_t)>("pread64");
    return offset >= READABLE ? fail() : real(descriptor, buffer, count, offset);
}
}
