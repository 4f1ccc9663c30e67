ifb_add_test(test_settings LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsTest.cpp LIBS ifb_app)
