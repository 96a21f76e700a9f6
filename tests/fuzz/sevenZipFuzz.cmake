# The 7z reader, fed arbitrary bytes: open, list and extract into a sink that checks every path.
quillon_fuzz_target(sevenZipArchiveFuzz
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sevenZipArchiveFuzz.cpp
    LIBS qovcore
)
