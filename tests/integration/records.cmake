ifb_add_test(test_records_store LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/RecordStoreTest.cpp
             LIBS ifb_app ifb_firmware TIMEOUT 120)
ifb_add_test(test_central_sync LABEL integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/CentralSyncTest.cpp
             LIBS ifb_app TIMEOUT 240)
