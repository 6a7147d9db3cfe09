# The wizard's portable arithmetic, once as part of the core and once
# instrumented with the address and undefined-behaviour sanitizers.
yelk_native_test(test_geometry test_geometry.cpp)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_executable(test_geometry_asan test_geometry.cpp
        ${CMAKE_SOURCE_DIR}/common/geometry.cpp
        ${CMAKE_SOURCE_DIR}/common/path.cpp)
    target_include_directories(test_geometry_asan PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(test_geometry_asan PRIVATE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(test_geometry_asan PRIVATE -fsanitize=address,undefined)
    target_link_libraries(test_geometry_asan PRIVATE GTest::gtest_main)
    gtest_discover_tests(test_geometry_asan TEST_PREFIX asan. DISCOVERY_TIMEOUT 60)
endif()
