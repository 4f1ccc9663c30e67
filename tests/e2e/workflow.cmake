ifb_add_test(test_startup LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/StartupTest.cpp LIBS ifb_app TIMEOUT 120)
add_dependencies(test_startup ifb-sim espota)
