ifb_add_test(test_gui_runthrough LABEL gui SOURCES ${CMAKE_CURRENT_LIST_DIR}/RunThroughTest.cpp
             LIBS ifb_dialogs ifb_firmware TIMEOUT 180)
add_dependencies(test_gui_runthrough ifb-sim espota)
