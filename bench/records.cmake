# bench_records: a record's commit and a log line, and the history window on
# 100,000 generated records.
add_executable(bench_records ${CMAKE_CURRENT_LIST_DIR}/RecordsBench.cpp)
target_include_directories(bench_records PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(bench_records PRIVATE ifb_dialogs ifb_app ifb_firmware ifb_sim_process)
set_target_properties(bench_records PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench_records ifb-sim espota)
ifb_strict_warnings(bench_records)
foreach(symbol _ZN3ifb12RecordKeeper6commitERKNS_11UpdateFactsE _ZN3ifb10SessionLog5writeENS_9LineClassERK7QString)
  target_link_options(bench_records PRIVATE "LINKER:--wrap=${symbol}")
endforeach()
