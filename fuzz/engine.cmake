# Fuzz target of the extraction engine: the whole headless installation. Under
# clang a libFuzzer program (ASan and UBSan); under any other compiler a replay
# of the checked-in corpus, run as a test.
set(engine_fuzz_corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/install)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(fuzz_install fuzz_install.cpp)
    target_compile_options(fuzz_install PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(fuzz_install PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_install PRIVATE yelkposix yelkrecord)
    add_test(NAME fuzz_install_corpus COMMAND fuzz_install -runs=0 ${engine_fuzz_corpus})
elseif(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/replay_main.cpp)
    add_executable(fuzz_install fuzz_install.cpp replay_main.cpp)
    target_link_libraries(fuzz_install PRIVATE yelkposix yelkrecord)
    add_test(NAME fuzz_install_corpus COMMAND fuzz_install ${engine_fuzz_corpus})
endif()
