#include "core/directory.hpp"

#include "core/platform/win32/handles.hpp"

#include <boost/filesystem/operations.hpp>

#include <vector>

namespace vexa {

namespace {

namespace fs = boost::filesystem;

class Win32Directory : public Directory
{
public:
    Win32Directory(HANDLE handle, const fs::path& path)
        : m_handle(handle), m_path(path), m_buffer(8192), m_entry(nullptr)
    {
    }

    bool next(std::string& name, EntryType& type) override
    {
        for (;;) {
            if (!m_entry && !refill())
                return false;
            const FILE_ID_BOTH_DIR_INFO& entry = *m_entry;
            m_entry = entry.NextEntryOffset == 0
                          ? nullptr
                          : reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
                                reinterpret_cast<const char*>(m_entry) + entry.NextEntryOffset);
            fs::path entryName(std::wstring(entry.FileName, entry.FileNameLength / 2));
            if (entryName != "." && entryName != "..") {
                name = entryName.string();
                type = typeOf(entry.FileAttributes, entryName);
                return true;
            }
        }
    }

private:
    bool refill()
    {
        // The entries come with their attributes, read through the handle.
        if (!GetFileInformationByHandleEx(m_handle.get(), FileIdBothDirectoryInfo, m_buffer.data(),
                                          DWORD(m_buffer.size() * sizeof m_buffer[0]))) {
            DWORD error = GetLastError();
            if (error == ERROR_NO_MORE_FILES)
                return false;
            m_handle.fail(int(error));
        }
        m_entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(m_buffer.data());
        return true;
    }

    EntryType typeOf(DWORD attributes, const fs::path& name) const
    {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A link: what it leads to, if anything.
            boost::system::error_code error;
            fs::file_type target = fs::status(m_path / name, error).type();
            return target == fs::regular_file     ? REGULAR_FILE
                   : target == fs::directory_file ? DIRECTORY
                                                  : OTHER;
        }
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? DIRECTORY : REGULAR_FILE;
    }

    OwnedFile m_handle;
    fs::path m_path;
    std::vector<uint64_t> m_buffer; // 64 KiB, aligned for the entries' 64-bit fields
    const FILE_ID_BOTH_DIR_INFO* m_entry;
};

} // namespace

Pointer<Directory> openDirectory(const std::string& path)
{
    fs::path name(wideName(path));
    // Shared for deleting too: the directory may be renamed while its entries are read.
    HANDLE handle = CreateFileW(name.c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throwFileError(int(GetLastError()));
        throw FileException(FileException::IO_ERROR);
    }
    Pointer<Directory> directory(OwnedFile::adopt<Win32Directory>(handle, name));
    // A file opens the same way; only its attributes tell.
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileException(FileException::IO_ERROR);
    return directory;
}

} // namespace vexa
