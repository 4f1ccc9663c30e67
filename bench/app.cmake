# Application benchmarks against ifb-sim: where a full update's time goes
# (bench_update, in process) and the batch run as a user starts it (bench_batch).

# bench_update times the product's waits by wrapping them at link time, so the
# measured code stays exactly as shipped.
set(ifb_bench_wrapped
  _ZN3ifb9TTComXDlg7WaitAckEv
  _ZN3ifb9TTComXDlg9WaitReplyENS_5ReplyEj
  _ZN3ifb15PauseWithEventsEj
  _ZN3ifb18SleepWithoutEventsEj
  _ZN3ifb9WaitUntilERKSt8functionIFbvEERKNS_11TickTimeoutEj
  _ZN3ifb10ToolRunner10RunCommandERKNS_11ToolCommandEPNS_7LogPaneER5QListI7QStringE)
add_executable(bench_update ${CMAKE_CURRENT_LIST_DIR}/UpdateBench.cpp)
target_include_directories(bench_update PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_update PRIVATE ifb_app ifb_firmware ifb_sim_process)
foreach(symbol ${ifb_bench_wrapped})
  target_link_options(bench_update PRIVATE "LINKER:--wrap=${symbol}")
endforeach()
set_target_properties(bench_update PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench_update ifb-sim espota)
ifb_strict_warnings(bench_update)

# bench_batch runs the updater as a user does and times it from the outside.
add_executable(bench_batch ${CMAKE_CURRENT_LIST_DIR}/BatchBench.cpp)
target_include_directories(bench_batch PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_batch PRIVATE ifb_app ifb_firmware ifb_sim_process)
set_target_properties(bench_batch PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench_batch ifb-updater ifb-sim espota)
ifb_strict_warnings(bench_batch)
