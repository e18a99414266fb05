#pragma once

#include "core/object.hpp"

#include <string>

namespace vexa {

// The entries of one open directory, read through its handle: a directory renamed or moved
// while it is read is read to its end all the same, and each entry's type is read relative to
// the handle, never by a path through the directory's name. There is no going back: a
// directory read again from its start may give fewer entries (a network share did).
class Directory : public Object
{
public:
    enum EntryType : int32_t {
        OTHER = 0, // neither, or a type that cannot be read: a loop of links, a dangling link
        REGULAR_FILE = 1,
        DIRECTORY = 2,
    };

    // The next entry's name (UTF-8) and type, links followed; false after the last. "." and
    // ".." are never among them. Raises FileException when the directory cannot be read on.
    virtual bool next(std::string& name, EntryType& type) = 0;
};

// The path is narrow UTF-8 text, as for openFile. Raises FileException when it names no
// directory that can be read.
Pointer<Directory> openDirectory(const std::string& path);

} // namespace vexa
