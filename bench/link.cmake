add_executable(bench_link ${CMAKE_CURRENT_LIST_DIR}/LinkBench.cpp)
target_link_libraries(bench_link PRIVATE ifb_link ifb_sim_process)
ifb_strict_warnings(bench_link)
