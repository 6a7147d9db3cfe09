# Fuzz target of the extraction engine: the whole headless installation, from
# arbitrary installer bytes into a sandbox folder (see fuzz_install.cpp).
#
#   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_install
#   build/fuzz/fuzz/fuzz_install -max_total_time=600 <new dir> fuzz/corpus/install

yelk_fuzz_target(fuzz_install fuzz_install.cpp)
