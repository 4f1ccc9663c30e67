# mkfwimage: writes/checks ESP32 app images; the build runs it to make the embedded firmware.
add_executable(mkfwimage ${CMAKE_CURRENT_LIST_DIR}/fwimage/main.cpp)
target_link_libraries(mkfwimage PRIVATE ifb_ota Qt6::Core)
ifb_strict_warnings(mkfwimage)
