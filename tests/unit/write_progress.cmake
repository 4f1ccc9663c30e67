ifb_add_test(test_write_progress LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/WriteProgressTest.cpp LIBS ifb_app)
