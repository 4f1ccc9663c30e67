ifb_add_test(test_runner_unit LABEL unit
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/WiFiAdapterCheckTest.cpp ${CMAKE_CURRENT_LIST_DIR}/EspotaCommandTest.cpp
             LIBS ifb_app)
