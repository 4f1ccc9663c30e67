# bench_espota: upload throughput of espota (streaming, --stop-and-wait) and of the classic stand-in
# (bench/classic-espota/espota.py, or espota.py itself with ESPOTA_PY set) against ifb-sim's link emulation.
add_executable(bench_espota ${CMAKE_CURRENT_LIST_DIR}/EspotaBench.cpp)
target_link_libraries(bench_espota PRIVATE ifb_ota Qt6::Core Qt6::Network)
target_compile_definitions(bench_espota PRIVATE IFB_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                                IFB_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
set_target_properties(bench_espota PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench_espota espota ifb-sim)
ifb_strict_warnings(bench_espota)
