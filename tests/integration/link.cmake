ifb_add_test(test_link_comport LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/ComPortTest.cpp LIBS ifb_link util)
ifb_add_test(test_link_object LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinkObjectTest.cpp LIBS ifb_link util)
ifb_add_test(test_link_tcp LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinkTcpTest.cpp LIBS ifb_link util)
ifb_add_test(test_link_commands LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/BoardCommandsTest.cpp LIBS ifb_link util)
