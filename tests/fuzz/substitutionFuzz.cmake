quillon_fuzz_target(substitutionFuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/substitutionFuzz.cpp LIBS setupcore)
