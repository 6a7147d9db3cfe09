# Writes the time stamp that setup32.exe carries in its PE header, in seconds
# since 1970, into the file OUT: $SOURCE_DATE_EPOCH when it is set (the
# reproducible-builds convention), else the time of the source tree's last
# commit, else 0 (a tree without its git history). Run at every build; the file
# is rewritten only when the value changes, which then relinks the installer.
# Usage: cmake -DSOURCE_DIR=... -DOUT=... -P source-date-epoch.cmake
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    set(origin "SOURCE_DATE_EPOCH")
else()
    # The tree is being built, so reading its log is no new trust; a clone
    # owned by another user (a CI checkout built as root) is read all the same.
    execute_process(
        COMMAND git -c safe.directory=* -C ${SOURCE_DIR} log -1 --format=%ct
        OUTPUT_VARIABLE epoch ERROR_QUIET
        RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(origin "the last commit")
    if(NOT rc EQUAL 0 OR epoch STREQUAL "")
        message(WARNING "setup32.exe: SOURCE_DATE_EPOCH is not set and ${SOURCE_DIR} "
            "has no git history; its PE time stamp is 0")
        set(epoch 0)
        set(origin "no source of time")
    endif()
endif()
# The PE field is an unsigned 32-bit count of seconds.
if(NOT epoch MATCHES "^[0-9]+$" OR epoch GREATER 4294967295)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH '${epoch}' is not a time stamp of 0 to 4294967295 seconds")
endif()
set(old "")
if(EXISTS ${OUT})
    file(READ ${OUT} old)
endif()
if(NOT old STREQUAL "${epoch}\n")
    file(WRITE ${OUT} "${epoch}\n")
    message(STATUS "setup32.exe time stamp: ${epoch} (from ${origin})")
endif()
