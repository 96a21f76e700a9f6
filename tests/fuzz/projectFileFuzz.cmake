quillon_fuzz_target(projectFileFuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/projectFileFuzz.cpp LIBS buildercore)
