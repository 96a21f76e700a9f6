quillon_fuzz_target(setupManifestFuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/setupManifestFuzz.cpp LIBS setupcore)
