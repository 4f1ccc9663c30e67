ifb_add_test(test_portlist LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/PortListTest.cpp LIBS ifb_platform)
