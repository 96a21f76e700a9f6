# The stream decoders on their own, fed arbitrary packed bytes with a bounded output size.
quillon_fuzz_target(methodDecoderFuzz
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/methodDecoderFuzz.cpp
    LIBS qovcore
)
