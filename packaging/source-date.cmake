# Sets SOURCE_DATE_EPOCH, when it is not set, to the time of the last commit, or in an unpacked
# source tarball to that of its files (git archive dates them so), so that packing the same
# sources twice gives the same bytes: CPack, zip and strip (the time in a Windows program's
# header) take their times from it. Read by cpack (CPACK_PROJECT_CONFIG_FILE) and pack.cmake.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(source "${CPACK_HARNOW_SOURCE_DIR}")
    # Only the sources' own repository: a tarball may be unpacked inside another one.
    execute_process(COMMAND git -C "${source}" rev-parse --show-toplevel
        OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(epoch "")
    if(top)
        file(REAL_PATH "${top}" top)
        file(REAL_PATH "${source}" source)
    endif()
    if(top STREQUAL source)
        execute_process(COMMAND git -C "${source}" log -1 --format=%ct
            OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(NOT epoch MATCHES "^[0-9]+$")
        file(TIMESTAMP "${source}/CMakeLists.txt" epoch "%s" UTC)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
