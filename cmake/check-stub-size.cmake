# Checks that a freshly linked installer without its payload (the file's size
# less payload.bin's) stays within LIMIT bytes; deletes it otherwise, as an
# unverified one is, so that a later build cannot mistake it for a good one.
# Usage: cmake -DEXE=... -DPAYLOAD=... -DLIMIT=... -P check-stub-size.cmake
file(SIZE ${EXE} exe_size)
file(SIZE ${PAYLOAD} payload_size)
math(EXPR stub "${exe_size} - ${payload_size}")
if(stub GREATER LIMIT)
    file(REMOVE ${EXE})
    message(FATAL_ERROR "${EXE} without its payload is ${stub} bytes, over the limit of ${LIMIT} "
        "(the section table: i686-w64-mingw32-objdump -h; what each holds: the map file); removed")
endif()
