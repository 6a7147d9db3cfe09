# Fuzz target of the extraction engine: the whole headless installation, from
# arbitrary installer bytes into a sandbox folder (see fuzz_install.cpp).
#
#   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_install
#   build/fuzz/fuzz/fuzz_install -max_total_time=600 <new dir> fuzz/corpus/install
#
# yelk_fuzz_target(name sources...): under clang a libFuzzer program; under any
# other compiler the same target linked with replay_main.cpp. Either way a test
# replays the checked-in corpus fuzz/corpus/<name without "fuzz_">/.
if(NOT COMMAND yelk_fuzz_target)
    function(yelk_fuzz_target name)
        string(REGEX REPLACE "^fuzz_" "" corpus ${name})
        set(corpus_dir ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${corpus})
        if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
            add_executable(${name} ${ARGN})
            target_link_options(${name} PRIVATE -fsanitize=fuzzer)
            add_test(NAME ${name}_replay COMMAND ${name} -runs=0 ${corpus_dir})
        else()
            add_executable(${name} ${ARGN} ${CMAKE_CURRENT_SOURCE_DIR}/replay_main.cpp)
            add_test(NAME ${name}_replay COMMAND ${name} ${corpus_dir})
        endif()
        target_link_libraries(${name} PRIVATE yelkposix yelkrecord)
        target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    endfunction()
endif()

yelk_fuzz_target(fuzz_install fuzz_install.cpp)
