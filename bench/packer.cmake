# Packer figures: payload size of the best parse against the greedy reference,
# and coding time, on ten files shaped like the shipped client's; and the
# inputs that strain the match search, timed against them.
#   cmake --build <tree> --target bench_packer_run
#   cmake --build <tree> --target bench_packer_cases
# The second leaves each input as a client folder in <tree>/bench/strain/ for
# timing yelkpack pack on it as a whole process.
if(TARGET yelkpacklib)
    add_executable(bench_packer bench_packer.cpp)
    target_link_libraries(bench_packer PRIVATE yelkpacklib yelkenc yelktestsupport yelkposix yelkrecord)
    add_custom_target(bench_packer_run
        COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/make_real_shaped.sh ${CMAKE_CURRENT_BINARY_DIR}/real_shaped
        COMMAND $<TARGET_FILE:bench_packer> ${CMAKE_CURRENT_BINARY_DIR}/real_shaped 3
        DEPENDS bench_packer
        VERBATIM)
    add_custom_target(bench_packer_cases
        COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/make_real_shaped.sh ${CMAKE_CURRENT_BINARY_DIR}/real_shaped
        COMMAND $<TARGET_FILE:bench_packer> --cases ${CMAKE_CURRENT_BINARY_DIR}/real_shaped
                ${CMAKE_CURRENT_BINARY_DIR}/strain 3
        DEPENDS bench_packer
        VERBATIM)
endif()
