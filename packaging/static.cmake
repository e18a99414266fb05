# The download for any Linux of one machine: harnow-VERSION-linux-CPU.tar.gz, whose folder of
# the same name holds the fully static harnow, a README.txt for its user, the licence and the
# notices of the libraries linked in, the C library among them; made by
# 'cmake --build TREE --target package'. A plain install of the tree is as without it.
set(ARCHIVE_INSTALL EXCLUDE_FROM_ALL)
include(archive.cmake)
# The GCC runtime's notices are those of the compiler's base package (the cross compilers' hold
# the same), the C library's those of libc6 (and of its cross builds, the same file).
string(REGEX MATCH "^[0-9]+" gcc "${CMAKE_CXX_COMPILER_VERSION}")
archive_text(README.txt LF OURS linux-README.txt)
archive_text(LICENSE.txt LF OURS ${PROJECT_SOURCE_DIR}/LICENSE)
archive_text(THIRD-PARTY-NOTICES.txt LF OURS linux-notices.txt boost-licence.txt
    SYSTEM /usr/share/doc/libc6/copyright /usr/share/common-licenses/LGPL-2.1
           /usr/share/doc/gcc-${gcc}-base/copyright)
set(name harnow-${PROJECT_VERSION}-linux-${HARNOW_CPU})
archive_package(${name}.tar.gz ${name})
