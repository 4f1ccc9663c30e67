ifb_add_test(test_station LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/StationTest.cpp ${CMAKE_CURRENT_LIST_DIR}/BatchRun.cpp ${CMAKE_CURRENT_LIST_DIR}/BatchRun.h LIBS ifb_app ifb_firmware TIMEOUT 400)
add_dependencies(test_station ifb-sim espota ifb-updater)
