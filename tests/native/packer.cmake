# Tests of the packer: the LZHUF encoder and its marker guard (round trips
# through the installer's decoder and lhasa), and the yelkpack tool.
if(TARGET yelkenc)
    yelk_native_test(test_pack_codec test_pack_codec.cpp)
    target_link_libraries(test_pack_codec PRIVATE yelkenc yelkcore yelkrecord)
    target_compile_definitions(test_pack_codec PRIVATE
        YELK_SAMPLES_DIR="${CMAKE_SOURCE_DIR}/samples/client")
endif()
