#include "core/platform/posix/posix_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa {

namespace {

static_assert(sizeof(off_t) == 8, "positions and sizes beyond 4 GiB need a 64-bit off_t");

bool parentIsMissing(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    struct stat status;
    return ::stat(path.substr(0, slash).c_str(), &status) != 0;
}

} // namespace

uint32_t PosixFile::readPiece(char* buffer, uint32_t size)
{
    ssize_t got;
    do
        got = ::read(m_handle.get(), buffer, size);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        m_handle.fail(errno);
    return uint32_t(got);
}

uint32_t PosixFile::writePiece(const char* data, uint32_t size)
{
    ssize_t written;
    do
        written = ::write(m_handle.get(), data, size);
    while (written < 0 && errno == EINTR);
    if (written < 0)
        m_handle.fail(errno);
    return uint32_t(written);
}

int64_t PosixFile::seek(int64_t offset, int32_t origin)
{
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < BEGIN || origin > END)
        m_handle.fail(EINVAL);
    off_t position = ::lseek(m_handle.get(), off_t(offset), whence[origin]);
    if (position < 0)
        m_handle.fail(errno);
    return int64_t(position);
}

int64_t PosixFile::resize(int64_t length)
{
    int64_t saved = seek(0, CURRENT);
    seek(length, BEGIN);
    int result;
    do
        result = ::ftruncate(m_handle.get(), off_t(length));
    while (result != 0 && errno == EINTR);
    if (result != 0)
        m_handle.fail(errno);
    return seek(saved, BEGIN);
}

int64_t PosixFile::size()
{
    struct stat status;
    if (::fstat(m_handle.get(), &status) != 0)
        m_handle.fail(errno);
    return int64_t(status.st_size);
}

void PosixFile::flush()
{
    if (::fsync(m_handle.get()) != 0)
        m_handle.fail(errno);
}

Pointer<File> openFile(const std::string& path, int32_t mode)
{
    bool reading = (mode & File::READ) != 0;
    bool writing = (mode & File::WRITE) != 0;
    // O_NONBLOCK changes nothing for regular files, but a FIFO can no longer block the opener
    // until some writer appears (a file swapped for one after the caller looked at it).
    int flags = O_CLOEXEC | O_NONBLOCK | (writing ? (reading ? O_RDWR : O_WRONLY) : O_RDONLY);
    if (writing)
        flags |= O_CREAT; // open, or create when missing
    if (mode & File::TRUNCATE)
        flags |= O_TRUNC; // with WRITE: create or empty; without: empty an existing file
    int descriptor;
    do
        descriptor = ::open(path.c_str(), flags, 0666);
    while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        // A missing directory on the way is "path not found", not a missing file.
        int error = errno;
        throwFileError(error == ENOENT && parentIsMissing(path) ? ENOTDIR : error);
        throw FileException(FileException::IO_ERROR);
    }
    // Regular files only, judged by what was opened, not by a look at the path before: Linux
    // lets a directory be opened for reading, and a FIFO or device may have been swapped in.
    // Their sizes mean nothing, and reading them can block for ever or never end.
    struct stat status;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        throw FileException(FileException::ACCESS_DENIED);
    }
    return Pointer<File>(OwnedFile::adopt<PosixFile>(descriptor));
}

bool opensAsWritten(const std::string& element)
{
    // Every byte but '/' is a name byte, up to a NUL, which ends the name early.
    return element.find('\0') == std::string::npos;
}

} // namespace vexa
