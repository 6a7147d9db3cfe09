# Tests of the extraction engine and the backup policy. They build their
# payloads with the packer's encoder (yelkenc).
if(TARGET yelkenc)
    yelk_native_test(test_engine
        test_engine.cpp
        test_backup.cpp
        test_rollback.cpp
        test_engine_fixture.cpp)
    target_link_libraries(test_engine PRIVATE yelkenc)
endif()

# The headless installer, run as the program it is.
if(TARGET yelkenc AND TARGET yelkpack)
    yelk_native_test(test_engine_cli
        test_engine_cli.cpp
        test_engine_fixture.cpp)
    target_link_libraries(test_engine_cli PRIVATE yelkenc)
    target_compile_definitions(test_engine_cli PRIVATE YELKPACK_PATH="$<TARGET_FILE:yelkpack>")
    add_dependencies(test_engine_cli yelkpack)
endif()

# No complete member marker may stand in the core's code or data: the scan
# would take it for the payload's start.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/engine_no_marker.cmake [=[
file(STRINGS "${LIBRARY}" hits REGEX "ARNI")
if(hits)
    message(FATAL_ERROR "${LIBRARY} holds the member marker: ${hits}")
endif()
]=])
add_test(NAME engine_no_marker_in_core
    COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:yelkcore>
            -P ${CMAKE_CURRENT_BINARY_DIR}/engine_no_marker.cmake)
