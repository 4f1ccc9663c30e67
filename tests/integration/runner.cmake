# A stand-in console tool the runner's tests start.
add_executable(runner_helper ${CMAKE_CURRENT_LIST_DIR}/RunnerHelper.cpp)
set_target_properties(runner_helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
ifb_strict_warnings(runner_helper)

ifb_add_test(test_tool_runner LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolRunnerTest.cpp
             LIBS ifb_app ifb_firmware TIMEOUT 90)
target_compile_definitions(test_tool_runner PRIVATE RUNNER_HELPER_PATH="$<TARGET_FILE:runner_helper>")
add_dependencies(test_tool_runner runner_helper ifb-sim espota)
ifb_add_test(test_console_progress LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConsoleProgressTest.cpp LIBS ifb_app)
