# Fuzz targets of the payload container scan and the LZHUF decoder.
#
# yelk_fuzz_target(name sources...): under clang (the "fuzz" preset, with
# ASan and UBSan) a libFuzzer program; under any other compiler the same
# target linked with replay_main.cpp. Either way a test replays the checked-in
# corpus fuzz/corpus/<name without "fuzz_">/.
#
#   cmake --preset fuzz && cmake --build --preset fuzz
#   build/fuzz/fuzz/fuzz_lzhdecode -jobs=1 -max_total_time=600 <new dir> fuzz/corpus/lzhdecode
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

yelk_fuzz_target(fuzz_lzhdecode fuzz_lzhdecode.cpp)
yelk_fuzz_target(fuzz_payloadcrc fuzz_payloadcrc.cpp)
