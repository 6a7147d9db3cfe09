# Tests of the payload container (CRC-32, PayloadCrc, OpenPayload) and of the
# LZHUF decoder.
yelk_native_test(test_crc test_crc.cpp)
yelk_native_test(test_lzhuf test_lzhuf.cpp)
