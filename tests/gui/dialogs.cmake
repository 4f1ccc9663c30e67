ifb_add_test(test_dialogs LABEL gui
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/PortDialogTest.cpp ${CMAKE_CURRENT_LIST_DIR}/SmallDialogsTest.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp ${CMAKE_CURRENT_LIST_DIR}/HistoryDialogTest.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/StationWindowTest.cpp
             LIBS ifb_dialogs)
