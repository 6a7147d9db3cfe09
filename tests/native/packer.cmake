# Tests of the packer: the LZHUF encoder and its marker guard (round trips
# through the installer's decoder and lhasa), and the yelkpack tool.
if(TARGET yelkenc)
    yelk_native_test(test_pack_codec test_pack_codec.cpp)
    target_link_libraries(test_pack_codec PRIVATE yelkenc)
    target_compile_definitions(test_pack_codec PRIVATE
        YELK_SAMPLES_DIR="${CMAKE_SOURCE_DIR}/samples/client")
endif()

if(TARGET yelkpack)
    yelk_native_test(test_pack_tool test_pack_tool.cpp)
    target_link_libraries(test_pack_tool PRIVATE yelkpacklib)
    target_compile_definitions(test_pack_tool PRIVATE
        YELKPACK="$<TARGET_FILE:yelkpack>"
        YELK_SAMPLES_DIR="${CMAKE_SOURCE_DIR}/samples/client")
    add_dependencies(test_pack_tool yelkpack)
endif()

# yelkpack against planted links, FIFOs, concurrent and stopped runs.
if(TARGET yelkpack)
    yelk_native_test(test_tool_hostile test_tool_hostile.cpp)
    target_link_libraries(test_tool_hostile PRIVATE yelkpacklib)
    target_compile_definitions(test_tool_hostile PRIVATE
        YELKPACK="$<TARGET_FILE:yelkpack>"
        YELK_SAMPLES_DIR="${CMAKE_SOURCE_DIR}/samples/client")
    add_dependencies(test_tool_hostile yelkpack)
    # flock failing with ENOLCK, preloaded into yelkpack by one test.
    add_library(nolocks MODULE nolocks.c)
    target_link_libraries(nolocks PRIVATE dl)
    add_dependencies(test_tool_hostile nolocks)
    target_compile_definitions(test_tool_hostile PRIVATE NOLOCKS="$<TARGET_FILE:nolocks>")
endif()
