# Decoder benchmark: MB/s with Google Benchmark, and instructions per decoded
# byte under callgrind:
#   cmake --build <tree> --target bench_decode_callgrind
# The member is packed with the packer's encoder when the tree has it.
find_package(benchmark REQUIRED)

add_executable(bench_decode bench_decode.cpp)
target_link_libraries(bench_decode PRIVATE yelktestsupport yelkposix yelkrecord benchmark::benchmark)
if(TARGET yelkenc)
    target_link_libraries(bench_decode PRIVATE yelkenc)
    target_compile_definitions(bench_decode PRIVATE YELK_HAVE_ENCODER)
endif()

find_program(YELK_VALGRIND valgrind)
if(YELK_VALGRIND)
    # Packs the member natively first (cached beside the program), then counts
    # the instructions of LzhDecode and everything it calls for one decode.
    add_custom_target(bench_decode_callgrind
        COMMAND ${CMAKE_COMMAND} -E rm -f bench_decode_member.lzh bench_decode_membergreedy.lzh
        COMMAND bench_decode --once
        COMMAND ${YELK_VALGRIND} --tool=callgrind --toggle-collect=LzhDecode*
                --callgrind-out-file=bench_decode.callgrind $<TARGET_FILE:bench_decode> --once
        COMMAND sh -c "callgrind_annotate bench_decode.callgrind | awk '/PROGRAM TOTALS/ { gsub(\",\", \"\", $1); printf \"LzhDecode: %d instructions, %.1f per decoded byte\\n\", $1, $1 / 1656832 }'"
        DEPENDS bench_decode
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        VERBATIM)
endif()

# The decoder on each of the ten real-shaped members, packed with the best
# parse: instructions per decoded byte per member and over all ten.
#   cmake --build <tree> --target bench_members_callgrind
if(TARGET yelkenc)
    add_executable(bench_members bench_members.cpp)
    target_link_libraries(bench_members PRIVATE yelkenc yelktestsupport yelkposix yelkrecord)
    if(YELK_VALGRIND)
        add_custom_target(bench_members_callgrind
            COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/members_callgrind.sh $<TARGET_FILE:bench_members>
                    ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/members_bench
            DEPENDS bench_members
            VERBATIM)
    endif()
endif()
