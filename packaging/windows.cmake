# The Windows delivery: harnow-VERSION-win64.zip (or -win32) with harnow.exe, a README.txt for
# its user, the licence and the notices of the libraries linked in; made by
# 'cmake --build build-win64 --target package'.
math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
# Writes a text file of the zip from one source or more. Notepad of older Windows shows a file
# of bare line feeds as one line.
function(windows_text to)
    set(content "")
    set(first TRUE)
    foreach(from ${ARGN})
        file(READ ${from} part)
        if(NOT first)
            string(APPEND content "\n\n==== ${from}\n\n")
        endif()
        string(APPEND content "${part}")
        set(first FALSE)
    endforeach()
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${PROJECT_BINARY_DIR}/${to} "${content}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARGN})
    install(FILES ${PROJECT_BINARY_DIR}/${to} DESTINATION .)
endfunction()
windows_text(README.txt ${CMAKE_CURRENT_LIST_DIR}/windows-README.txt)
windows_text(LICENSE.txt ${PROJECT_SOURCE_DIR}/LICENSE)
# The runtime and threads library of mingw-w64 are linked into harnow.exe, and their licences
# want their notices passed on with it: Debian's copyright files hold them all.
if(bits EQUAL 64)
    set(mingw x86-64)
else()
    set(mingw i686)
endif()
windows_text(THIRD-PARTY-NOTICES.txt ${CMAKE_CURRENT_LIST_DIR}/windows-notices.txt
    /usr/share/doc/mingw-w64-${mingw}-dev/copyright /usr/share/doc/gcc-mingw-w64-base/copyright)
install(TARGETS harnow RUNTIME DESTINATION .)
# A tree that CPack once packed for keeps CPack's files, and CMake then reserves the name.
file(REMOVE ${PROJECT_BINARY_DIR}/CPackConfig.cmake ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -DTREE=${PROJECT_BINARY_DIR}
            -DZIP=${PROJECT_BINARY_DIR}/harnow-${PROJECT_VERSION}-win${bits}.zip
            -DCPACK_HARNOW_SOURCE_DIR=${PROJECT_SOURCE_DIR}
            -P ${CMAKE_CURRENT_LIST_DIR}/windows-zip.cmake
    DEPENDS harnow VERBATIM)
