# The libFuzzer target for the link's receive side (-DIFB_FUZZ=ON, clang):
# scripts/fuzz-link configures, builds and runs it.
if(IFB_FUZZ)
  add_executable(link-fuzz ${CMAKE_CURRENT_LIST_DIR}/LinkFuzz.cpp)
  target_link_libraries(link-fuzz PRIVATE ifb_link_codec)
  target_compile_options(link-fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(link-fuzz PRIVATE -fsanitize=fuzzer)
  set_target_properties(link-fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endif()
