ifb_add_test(test_wifi_control LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/WifiControlTest.cpp LIBS ifb_app
             TIMEOUT 90)
