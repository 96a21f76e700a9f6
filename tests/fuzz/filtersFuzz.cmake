# The branch converters, Delta and BCJ2 fed arbitrary bytes in pieces of varying size.
quillon_fuzz_target(filtersFuzz
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/filtersFuzz.cpp
    LIBS qovcore
)
