# The tools: ifb_ota (login math, OTA messages, app images), mkfwimage, ifb-sim, espota,
# and the embedded firmware resource.
set(tools_test_harness ${CMAKE_CURRENT_LIST_DIR}/ToolsHarness.cpp ${CMAKE_CURRENT_LIST_DIR}/ToolsHarness.h)

ifb_add_test(test_tools_image_auth LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsImageAuthTest.cpp ${tools_test_harness}
  LIBS ifb_ota TIMEOUT 60)
add_dependencies(test_tools_image_auth mkfwimage)
