# The Windows delivery: harnow-VERSION-win64.zip (or -win32) with harnow.exe, a README.txt for
# its user, the licence and the notices of the libraries linked in; made by
# 'cmake --build build-win64 --target package'.
include(archive.cmake)
math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
archive_text(README.txt CRLF OURS windows-README.txt)
archive_text(LICENSE.txt CRLF OURS ${PROJECT_SOURCE_DIR}/LICENSE)
# The runtime and threads library of mingw-w64 are linked into harnow.exe, and their licences
# want their notices passed on with it: Debian's copyright files hold them all.
if(bits EQUAL 64)
    set(mingw x86-64)
else()
    set(mingw i686)
endif()
archive_text(THIRD-PARTY-NOTICES.txt CRLF OURS windows-notices.txt boost-licence.txt
    SYSTEM /usr/share/doc/mingw-w64-${mingw}-dev/copyright
           /usr/share/doc/gcc-mingw-w64-base/copyright)
archive_package(harnow-${PROJECT_VERSION}-win${bits}.zip .)
