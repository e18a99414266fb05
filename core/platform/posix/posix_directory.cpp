#include "core/directory.hpp"

#include "core/exceptions.hpp"
#include "core/platform/errors.hpp"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa {

namespace {

class PosixDirectory : public Directory
{
public:
    explicit PosixDirectory(DIR* stream) : m_stream(stream) {}
    ~PosixDirectory() override { ::closedir(m_stream); }

    bool next(std::string& name, EntryType& type) override
    {
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(m_stream);
            if (!entry) {
                throwFileError(errno);
                return false;
            }
            name = entry->d_name;
            if (name != "." && name != "..") {
                type = typeOf(*entry);
                return true;
            }
        }
    }

private:
    // Most file systems give the type with the name; only a link, or a file system that does
    // not, costs a look at the entry itself.
    EntryType typeOf(const dirent& entry) const
    {
        mode_t mode;
        if (entry.d_type == DT_LNK || entry.d_type == DT_UNKNOWN) {
            struct stat status;
            if (::fstatat(::dirfd(m_stream), entry.d_name, &status, 0) != 0)
                return OTHER;
            mode = status.st_mode;
        } else {
            mode = DTTOIF(entry.d_type);
        }
        return S_ISREG(mode) ? REGULAR_FILE : S_ISDIR(mode) ? DIRECTORY : OTHER;
    }

    DIR* m_stream;
};

} // namespace

Pointer<Directory> openDirectory(const std::string& path)
{
    int descriptor;
    do
        descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (descriptor < 0 && errno == EINTR);
    DIR* stream = descriptor < 0 ? nullptr : ::fdopendir(descriptor);
    if (!stream) {
        int error = errno;
        if (descriptor >= 0)
            ::close(descriptor);
        throwFileError(error);
        throw FileException(FileException::IO_ERROR);
    }
    try {
        return Pointer<Directory>(new PosixDirectory(stream));
    } catch (...) {
        ::closedir(stream);
        throw;
    }
}

} // namespace vexa
