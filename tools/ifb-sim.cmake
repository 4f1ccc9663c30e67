# ifb-sim: the simulated interface board (serial frames + OTA receiver).
file(GLOB sim_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/sim/*.cpp ${CMAKE_CURRENT_LIST_DIR}/sim/*.h)
add_executable(ifb-sim ${sim_sources})
target_include_directories(ifb-sim PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sim)
target_link_libraries(ifb-sim PRIVATE ifb_ota ifb_link_codec Qt6::Core Qt6::Network)
ifb_strict_warnings(ifb-sim)
