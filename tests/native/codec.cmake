# Tests of the payload container (CRC-32, PayloadCrc, OpenPayload) and of the
# LZHUF decoder.
yelk_native_test(test_crc test_crc.cpp)
yelk_native_test(test_lzhuf test_lzhuf.cpp)
target_compile_definitions(test_lzhuf PRIVATE YELK_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
