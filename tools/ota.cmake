# ifb_ota: what the uploader and the simulated board share (login math, OTA
# messages, ESP32 app image writer and checker).
file(GLOB ota_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ota/*.cpp ${CMAKE_CURRENT_LIST_DIR}/ota/*.h)
add_library(ifb_ota STATIC ${ota_sources})
target_include_directories(ifb_ota PUBLIC ${CMAKE_CURRENT_LIST_DIR}/ota)
target_link_libraries(ifb_ota PUBLIC Qt6::Core Qt6::Network)
ifb_strict_warnings(ifb_ota)
