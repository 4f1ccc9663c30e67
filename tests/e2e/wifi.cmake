ifb_add_test(test_batch_auto_join LABEL e2e
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/BatchAutoJoinTest.cpp ${CMAKE_CURRENT_LIST_DIR}/BatchRun.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/BatchRun.h
             LIBS ifb_app TIMEOUT 300)
add_dependencies(test_batch_auto_join ifb-updater ifb-sim espota)
