# Packs the Windows zip: cmake -DTREE=<build folder> -DZIP=<zip> -DCPACK_HARNOW_SOURCE_DIR=<source>
# -P windows-zip.cmake, run by the package target. The same build gives the same bytes: files in
# name order, dated SOURCE_DATE_EPOCH in UTC, fixed modes, no owner and no Unix times (zip -X).
include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)
set(staged ${TREE}/zip-staging)
file(REMOVE_RECURSE ${staged})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${TREE} --prefix ${staged} --strip
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(GLOB names RELATIVE ${staged} ${staged}/*)
list(SORT names)
execute_process(COMMAND chmod 0644 ${names} WORKING_DIRECTORY ${staged} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND chmod 0755 harnow.exe WORKING_DIRECTORY ${staged}
    COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${names} WORKING_DIRECTORY ${staged}
    COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -9 ${ZIP} ${names}
    WORKING_DIRECTORY ${staged} COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "packed ${ZIP}")
