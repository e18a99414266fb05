# The Windows delivery: harnow-VERSION-win64.zip (or -win32) with harnow.exe, a README.txt for
# its user and the licence, made by 'cmake --build build-win64 --target package'.
math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
# Notepad of older Windows shows a file of bare line feeds as one line.
foreach(text windows-README.txt:README.txt ../LICENSE:LICENSE.txt)
    string(REPLACE ":" ";" text ${text})
    list(GET text 0 from)
    list(GET text 1 to)
    file(READ ${CMAKE_CURRENT_LIST_DIR}/${from} content)
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${PROJECT_BINARY_DIR}/${to} "${content}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_LIST_DIR}/${from})
    install(FILES ${PROJECT_BINARY_DIR}/${to} DESTINATION .)
endforeach()
install(TARGETS harnow RUNTIME DESTINATION .)
# A tree that CPack once packed for keeps CPack's files, and CMake then reserves the name.
file(REMOVE ${PROJECT_BINARY_DIR}/CPackConfig.cmake ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -DTREE=${PROJECT_BINARY_DIR}
            -DZIP=${PROJECT_BINARY_DIR}/harnow-${PROJECT_VERSION}-win${bits}.zip
            -DCPACK_HARNOW_SOURCE_DIR=${PROJECT_SOURCE_DIR}
            -P ${CMAKE_CURRENT_LIST_DIR}/windows-zip.cmake
    DEPENDS harnow VERBATIM)
