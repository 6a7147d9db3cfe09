# Packer figures: payload size of the best parse against the greedy reference,
# and coding time, on ten files shaped like the shipped client's.
#   cmake --build <tree> --target bench_packer_run
if(TARGET yelkpacklib)
    add_executable(bench_packer bench_packer.cpp)
    target_link_libraries(bench_packer PRIVATE yelkpacklib yelkenc yelktestsupport yelkposix yelkrecord)
    add_custom_target(bench_packer_run
        COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/make_real_shaped.sh ${CMAKE_CURRENT_BINARY_DIR}/real_shaped
        COMMAND $<TARGET_FILE:bench_packer> ${CMAKE_CURRENT_BINARY_DIR}/real_shaped 3
        DEPENDS bench_packer
        VERBATIM)
endif()
