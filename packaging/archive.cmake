# What the Windows zip and the tarball for any Linux share: their text files, and the package
# target, 'cmake --build TREE --target package', which packs what the component "archive"
# installs (pack.cmake).

# Writes a text file of the archive, installed at its top: the project's files after OURS,
# with @PROJECT_VERSION@ filled in, each beginning a paragraph; then the system's files after
# SYSTEM, each under a line that names it. Notepad of older Windows shows a file of bare line
# feeds as one line: line_end CRLF gives Windows' line ends.
function(archive_text to line_end)
    cmake_parse_arguments(PARSE_ARGV 2 text "" "" "OURS;SYSTEM")
    set(content "")
    set(paragraph "")
    foreach(from ${text_OURS})
        file(READ ${from} part)
        string(CONFIGURE "${part}" part @ONLY)
        string(APPEND content "${paragraph}${part}")
        set(paragraph "\n")
    endforeach()
    foreach(from ${text_SYSTEM})
        file(READ ${from} part)
        string(APPEND content "\n\n==== ${from}\n\n${part}")
    endforeach()
    if(line_end STREQUAL "CRLF")
        string(REPLACE "\n" "\r\n" content "${content}")
    endif()
    file(WRITE ${PROJECT_BINARY_DIR}/${to} "${content}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${text_OURS} ${text_SYSTEM})
    install(FILES ${PROJECT_BINARY_DIR}/${to} DESTINATION . COMPONENT archive ${ARCHIVE_INSTALL})
endfunction()

# The package target: the program and the texts into ARCHIVE (.zip or .tar.gz) in the build
# folder, under the folder TOP ("." for none).
function(archive_package archive top)
    install(TARGETS harnow RUNTIME DESTINATION . COMPONENT archive ${ARCHIVE_INSTALL})
    # A tree that CPack once packed for keeps CPack's files, and CMake then reserves the name.
    file(REMOVE ${PROJECT_BINARY_DIR}/CPackConfig.cmake
        ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)
    add_custom_target(package
        COMMAND ${CMAKE_COMMAND} -DTREE=${PROJECT_BINARY_DIR} -DARCHIVE=${archive} -DTOP=${top}
                -DPROGRAM=$<TARGET_FILE_NAME:harnow>
                -DCPACK_HARNOW_SOURCE_DIR=${PROJECT_SOURCE_DIR}
                -P ${CMAKE_CURRENT_SOURCE_DIR}/pack.cmake
        DEPENDS harnow VERBATIM)
endfunction()
