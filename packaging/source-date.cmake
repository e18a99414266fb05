# Sets SOURCE_DATE_EPOCH, when it is not set, to the time of the last commit, or in an unpacked
# source tarball to that of its files (git archive dates them so), so that packing the same
# sources twice gives the same bytes: CPack, zip and strip (the time in a Windows program's
# header) take their times from it. Read by cpack (CPACK_PROJECT_CONFIG_FILE) and windows-zip.cmake.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C "${CPACK_HARNOW_SOURCE_DIR}" log -1 --format=%ct
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT epoch MATCHES "^[0-9]+$")
        file(TIMESTAMP "${CPACK_HARNOW_SOURCE_DIR}/CMakeLists.txt" epoch "%s" UTC)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
