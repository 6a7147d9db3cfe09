# Checks that a freshly linked installer without its payload stays within
# LIMIT bytes; deletes it otherwise, as an unverified one is, so that a later
# build cannot mistake it for a good one. Without its payload means the file's
# size less payload.bin's and less the padding that rounds the resource
# section (which holds the payload) up to the next 512 bytes: that padding
# depends on the payload's size alone, so the figure is the same whichever
# client's files an installer carries.
# Usage: cmake -DEXE=... -DPAYLOAD=... -DLIMIT=... -P check-stub-size.cmake

# The little-endian number of `bytes` bytes at `offset` in EXE.
function(read_le out offset bytes)
    file(READ ${EXE} hex OFFSET ${offset} LIMIT ${bytes} HEX)
    set(value 0)
    set(scale 1)
    math(EXPR last "${bytes} - 1")
    foreach(i RANGE 0 ${last})
        math(EXPR at "${i} * 2")
        string(SUBSTRING "${hex}" ${at} 2 byte)
        math(EXPR value "${value} + 0x${byte} * ${scale}")
        math(EXPR scale "${scale} * 256")
    endforeach()
    set(${out} ${value} PARENT_SCOPE)
endfunction()

read_le(pe 60 4)
math(EXPR at "${pe} + 6")
read_le(sections ${at} 2)
math(EXPR at "${pe} + 20")
read_le(optional_size ${at} 2)
math(EXPR table "${pe} + 24 + ${optional_size}")
set(padding 0)
math(EXPR last "${sections} - 1")
foreach(i RANGE 0 ${last})
    math(EXPR at "${table} + 40 * ${i}")
    file(READ ${EXE} name OFFSET ${at} LIMIT 6 HEX)
    if(name STREQUAL "2e7273726300")   # ".rsrc" and its first padding zero
        math(EXPR at "${table} + 40 * ${i} + 8")
        read_le(virtual_size ${at} 4)
        math(EXPR at "${table} + 40 * ${i} + 16")
        read_le(raw_size ${at} 4)
        math(EXPR padding "${raw_size} - ${virtual_size}")
    endif()
endforeach()

file(SIZE ${EXE} exe_size)
file(SIZE ${PAYLOAD} payload_size)
math(EXPR stub "${exe_size} - ${payload_size} - ${padding}")
if(stub GREATER LIMIT)
    file(REMOVE ${EXE})
    message(FATAL_ERROR "${EXE} without its payload is ${stub} bytes, over the limit of ${LIMIT} "
        "(the section table: i686-w64-mingw32-objdump -h; what each holds: the map file); removed")
endif()
