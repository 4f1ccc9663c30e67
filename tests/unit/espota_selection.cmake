ifb_add_test(test_espota_selection LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/EspotaSelectionTest.cpp LIBS ifb_app)
