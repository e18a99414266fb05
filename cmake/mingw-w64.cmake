# Cross-compiling for Windows with Debian's mingw-w64 (its POSIX-threads flavour, which
# std::thread and Boost.Thread's headers need). HARNOW_MINGW_ARCH is x86_64 or i686.
set(HARNOW_MINGW_ARCH x86_64 CACHE STRING "x86_64 (64-bit) or i686 (32-bit)")
set(triple ${HARNOW_MINGW_ARCH}-w64-mingw32)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${HARNOW_MINGW_ARCH})
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every program stands alone: no libstdc++, libgcc or winpthread DLL beside it. Its header
# carries no link time (strip writes SOURCE_DATE_EPOCH there, or the time it runs).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
# Windows 7 and later.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
# CTest runs the test programs through Wine: the machine's wine64, or the 32-bit Wine of the
# i386 root that scripts/wine32-root.sh makes (no 32-bit Wine is installed on the machine).
if(HARNOW_MINGW_ARCH STREQUAL "i686")
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32/wine)
else()
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
