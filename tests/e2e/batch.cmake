ifb_add_test(test_batch LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/BatchTest.cpp ${CMAKE_CURRENT_LIST_DIR}/BatchRun.cpp ${CMAKE_CURRENT_LIST_DIR}/BatchRun.h LIBS ifb_app TIMEOUT 400)
add_dependencies(test_batch ifb-updater ifb-sim espota)
ifb_add_test(test_records_batch LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/RecordsBatchTest.cpp ${CMAKE_CURRENT_LIST_DIR}/BatchRun.cpp ${CMAKE_CURRENT_LIST_DIR}/BatchRun.h LIBS ifb_app TIMEOUT 300)
add_dependencies(test_records_batch ifb-updater ifb-sim espota)
