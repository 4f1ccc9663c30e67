# espota: our uploader with the command line and messages of the Arduino core's espota.
file(GLOB espota_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/espota/*.cpp ${CMAKE_CURRENT_LIST_DIR}/espota/*.h)
add_executable(espota ${espota_sources})
target_include_directories(espota PRIVATE ${CMAKE_CURRENT_LIST_DIR}/espota)
target_link_libraries(espota PRIVATE ifb_ota Qt6::Core Qt6::Network)
ifb_strict_warnings(espota)
