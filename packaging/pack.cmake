# Packs an archive of what a build folder installs as its component "archive": cmake
# -DTREE=<build folder> -DARCHIVE=<name.zip or name.tar.gz> -DTOP=<folder in it, or .>
# -DPROGRAM=<its program> -DCPACK_HARNOW_SOURCE_DIR=<source> -P pack.cmake, run by the package
# target (archive.cmake). The same build gives the same bytes: members in name order, dated
# SOURCE_DATE_EPOCH in UTC, fixed modes, owned by root; a zip has no Unix times (zip -X).
include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)
set(staged ${TREE}/archive-staging)
set(top ${staged}/${TOP})
file(REMOVE_RECURSE ${staged})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${TREE} --prefix ${top} --component archive
    --strip OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(GLOB names RELATIVE ${top} ${top}/*)
list(SORT names)
execute_process(COMMAND chmod 0644 ${names} WORKING_DIRECTORY ${top} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND chmod 0755 ${PROGRAM} . WORKING_DIRECTORY ${top}
    COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${names} . WORKING_DIRECTORY ${top}
    COMMAND_ERROR_IS_FATAL ANY)
set(ENV{TZ} UTC)
file(REMOVE ${TREE}/${ARCHIVE})
if(ARCHIVE MATCHES "[.]zip$")
    execute_process(COMMAND zip -q -X -9 ${TREE}/${ARCHIVE} ${names} WORKING_DIRECTORY ${top}
        COMMAND_ERROR_IS_FATAL ANY)
else()
    execute_process(COMMAND tar --sort=name --owner=0 --group=0 --numeric-owner --format=gnu
                            -cf - ${TOP}
                    COMMAND gzip -9n OUTPUT_FILE ${TREE}/${ARCHIVE}
                    WORKING_DIRECTORY ${staged} COMMAND_ERROR_IS_FATAL ANY)
endif()
message(STATUS "packed ${TREE}/${ARCHIVE}")
