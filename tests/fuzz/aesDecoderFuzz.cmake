# The 7z AES coder fed arbitrary properties, password and data.
quillon_fuzz_target(aesDecoderFuzz
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/aesDecoderFuzz.cpp
    LIBS qovcore
)
