# Engine figures: callgrind instructions of a headless installation against the
# decoder alone, and peak memory for a 1 MB and a 64 MB member.
#   cmake --build <tree> --target bench_engine
add_executable(bench_engine_decode bench_engine_decode.cpp classic_lzhuf.cpp)
target_link_libraries(bench_engine_decode PRIVATE yelkcore yelkposix yelkrecord)

find_program(YELK_VALGRIND valgrind)
if(YELK_VALGRIND AND TARGET yelkpack)
    add_custom_target(bench_engine
        COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.sh $<TARGET_FILE:yelkpack>
                $<TARGET_FILE:bench_engine_decode> ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/engine_bench
        DEPENDS yelkpack bench_engine_decode
        VERBATIM)
endif()
