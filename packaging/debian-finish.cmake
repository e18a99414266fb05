# Run by CPack on the staged tree, to finish it as debhelper would: strip the executable of its
# symbols and build notes, gzip -9n the manual page and the documents, not the picture (-n: the
# same archive from build to build).
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
execute_process(COMMAND "${CPACK_HARNOW_STRIP}" --remove-section=.comment --remove-section=.note
    "${usr}/bin/harnow" COMMAND_ERROR_IS_FATAL ANY)
list(TRANSFORM CPACK_HARNOW_DOCS PREPEND share/doc/harnow/docs/ OUTPUT_VARIABLE docs)
foreach(file share/man/man1/harnow.1 share/doc/harnow/changelog share/doc/harnow/README.md
        share/doc/harnow/CHANGELOG.md ${docs})
    execute_process(COMMAND gzip -9n "${usr}/${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
