ifb_add_test(test_runner_unit LABEL unit
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/WiFiAdapterCheckTest.cpp ${CMAKE_CURRENT_LIST_DIR}/EspotaCommandTest.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/TimerResolutionTest.cpp
             LIBS ifb_app)
