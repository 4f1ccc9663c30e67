# The tools: ifb_ota (login math, OTA messages, app images), mkfwimage, ifb-sim, espota,
# and the embedded firmware resource.
set(tools_test_harness ${CMAKE_CURRENT_LIST_DIR}/ToolsHarness.cpp ${CMAKE_CURRENT_LIST_DIR}/ToolsHarness.h)

ifb_add_test(test_tools_image_auth LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsImageAuthTest.cpp ${tools_test_harness}
  LIBS ifb_ota TIMEOUT 60)
add_dependencies(test_tools_image_auth mkfwimage)

ifb_add_test(test_tools_sim LABEL integration
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsSimTest.cpp ${tools_test_harness}
  LIBS Qt6::Network TIMEOUT 120)
add_dependencies(test_tools_sim ifb-sim)

ifb_add_test(test_tools_espota LABEL integration
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsEspotaTest.cpp ${tools_test_harness}
  LIBS ifb_ota Qt6::Network TIMEOUT 120)
add_dependencies(test_tools_espota ifb-sim espota)

ifb_add_test(test_tools_firmware LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsFirmwareTest.cpp
  LIBS ifb_firmware ifb_platform ifb_ota TIMEOUT 60)
if(IFB_FIRMWARE_IMAGE)
  target_compile_definitions(test_tools_firmware PRIVATE IFB_FIRMWARE_GENERATED=0)
else()
  target_compile_definitions(test_tools_firmware PRIVATE IFB_FIRMWARE_GENERATED=1)
endif()

# A supplied image that is no ESP32 app image stops the configure step with a clear message.
set(tools_bad_image ${CMAKE_BINARY_DIR}/tests/tools-not-an-image.bin)
file(WRITE ${tools_bad_image} "PK not an image")
add_test(NAME tools_configure_rejects_non_image
  COMMAND ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${CMAKE_BINARY_DIR}/tests/tools-configure-check
          -DIFB_FIRMWARE_IMAGE=${tools_bad_image})
set_tests_properties(tools_configure_rejects_non_image PROPERTIES
  LABELS integration TIMEOUT 180
  # The message wraps at any blank.
  PASS_REGULAR_EXPRESSION "not[ \n]+an[ \n]+ESP32[ \n]+application[ \n]+image:[ \n]+its[ \n]+first[ \n]+byte[ \n]+is[ \n]+0x50")
