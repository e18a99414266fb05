#include "core/platform/win32/win32_file.hpp"

#include <boost/filesystem/path.hpp>

#include <cctype>
#include <cstring>

namespace vexa {

namespace {

// Names that Windows takes for a device in every directory, whatever extension follows; it
// counts the superscript digits (UTF-8 here) among the port numbers.
const char* const DEVICES[] = {
    "CON",        "PRN",         "AUX",         "NUL",         "COM1",        "COM2",
    "COM3",       "COM4",        "COM5",        "COM6",        "COM7",        "COM8",
    "COM9",       "LPT1",        "LPT2",        "LPT3",        "LPT4",        "LPT5",
    "LPT6",       "LPT7",        "LPT8",        "LPT9",        "CONIN$",      "CONOUT$",
    "CONERR$",    "COM\xc2\xb9", "COM\xc2\xb2", "COM\xc2\xb3", "LPT\xc2\xb9", "LPT\xc2\xb2",
    "LPT\xc2\xb3"};

bool isDevice(std::string base)
{
    // Windows drops the spaces before the extension too: 'CON .txt' is the console.
    base.erase(base.find_last_not_of(' ') + 1);
    for (char& c : base)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const char* device : DEVICES) {
        if (base == device)
            return true;
    }
    return false;
}

static_assert(File::BEGIN == FILE_BEGIN && File::CURRENT == FILE_CURRENT && File::END == FILE_END,
              "seek origins are passed to SetFilePointer unchanged");

} // namespace

uint32_t Win32File::readPiece(char* buffer, uint32_t size)
{
    DWORD got = 0;
    if (!ReadFile(m_handle.get(), buffer, size, &got, nullptr))
        m_handle.fail(int(GetLastError()));
    return got;
}

uint32_t Win32File::writePiece(const char* data, uint32_t size)
{
    DWORD written = 0;
    if (!WriteFile(m_handle.get(), data, size, &written, nullptr))
        m_handle.fail(int(GetLastError()));
    return written;
}

int64_t Win32File::seek(int64_t offset, int32_t origin)
{
    LONG high = LONG(offset >> 32);
    // The low part all ones is also a genuine position; only a last error tells a failure.
    SetLastError(0);
    DWORD low = SetFilePointer(m_handle.get(), LONG(uint32_t(offset)), &high, DWORD(origin));
    if (low == INVALID_SET_FILE_POINTER)
        m_handle.check(int(GetLastError()));
    return (int64_t(high) << 32) | low;
}

int64_t Win32File::resize(int64_t length)
{
    int64_t saved = seek(0, CURRENT);
    seek(length, BEGIN);
    if (!SetEndOfFile(m_handle.get()))
        m_handle.fail(int(GetLastError()));
    return seek(saved, BEGIN);
}

int64_t Win32File::size()
{
    DWORD high = 0;
    SetLastError(0);
    DWORD low = GetFileSize(m_handle.get(), &high);
    if (low == INVALID_FILE_SIZE)
        m_handle.check(int(GetLastError()));
    return (int64_t(high) << 32) | low;
}

void Win32File::flush()
{
    if (!FlushFileBuffers(m_handle.get()))
        m_handle.fail(int(GetLastError()));
}

std::wstring wideName(const std::string& path)
{
    try {
        return boost::filesystem::path(path).wstring();
    } catch (const std::exception&) {
        throw FileException(FileException::FILE_NOT_FOUND);
    }
}

Pointer<File> openFile(const std::string& path, int32_t mode)
{
    bool writing = (mode & File::WRITE) != 0;
    bool truncating = (mode & File::TRUNCATE) != 0;
    DWORD access = (mode & File::READ) ? GENERIC_READ : 0;
    // Windows empties a file only for a handle that may write it.
    if (writing || truncating)
        access |= GENERIC_WRITE;
    DWORD disposition = writing ? (truncating ? CREATE_ALWAYS : OPEN_ALWAYS)
                                : (truncating ? TRUNCATE_EXISTING : OPEN_EXISTING);
    HANDLE file = CreateFileW(wideName(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throwFileError(int(GetLastError()));
        throw FileException(FileException::IO_ERROR);
    }
    // Files on a disk only: a device or pipe name that got here has no size and may never end.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        throw FileException(FileException::ACCESS_DENIED);
    }
    return Pointer<File>(OwnedFile::adopt<Win32File>(file));
}

bool opensAsWritten(const std::string& element)
{
    if (element.empty() || element == ".")
        return true;
    // Names are UTF-16: bytes that are no UTF-8 spell none.
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, element.data(), int(element.size()),
                            nullptr, 0) == 0)
        return false;
    for (char c : element) {
        // Separators, drives and streams, wildcards, and bytes no name may hold.
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\\:*?\"<>|", c))
            return false;
    }
    char last = element.back();
    return last != '.' && last != ' ' && !isDevice(element.substr(0, element.find('.')));
}

} // namespace vexa
