# The LZMA and LZMA2 decoders on their own, fed arbitrary streams and properties with a bounded output size.
quillon_fuzz_target(lzmaDecoderFuzz
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lzmaDecoderFuzz.cpp
    LIBS qovcore
)
