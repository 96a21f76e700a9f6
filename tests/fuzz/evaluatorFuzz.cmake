quillon_fuzz_target(evaluatorFuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/evaluatorFuzz.cpp LIBS setupcore)
