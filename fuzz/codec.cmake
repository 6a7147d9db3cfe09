# Fuzz targets of the payload container scan and the LZHUF decoder.
#
#   cmake --preset fuzz && cmake --build --preset fuzz
#   build/fuzz/fuzz/fuzz_lzhdecode -jobs=1 -max_total_time=600 <new dir> fuzz/corpus/lzhdecode

yelk_fuzz_target(fuzz_lzhdecode fuzz_lzhdecode.cpp)
yelk_fuzz_target(fuzz_payloadcrc fuzz_payloadcrc.cpp)
yelk_fuzz_target(fuzz_marker fuzz_marker.cpp)
