ifb_add_test(test_startup LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/StartupTest.cpp LIBS ifb_app TIMEOUT 120)
add_dependencies(test_startup ifb-sim espota)
ifb_add_test(test_update LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/UpdateTest.cpp LIBS ifb_app ifb_firmware TIMEOUT 300)
add_dependencies(test_update ifb-sim espota)
ifb_add_test(test_discovery LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/DiscoveryTest.cpp LIBS ifb_app TIMEOUT 180)
add_dependencies(test_discovery ifb-sim espota)
ifb_add_test(test_update_outcome LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/UpdateOutcomeTest.cpp
             LIBS ifb_app ifb_firmware TIMEOUT 300)
add_dependencies(test_update_outcome ifb-sim espota)
ifb_add_test(test_write_diagnosis LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/WriteDiagnosisTest.cpp
             LIBS ifb_app ifb_firmware TIMEOUT 300)
add_dependencies(test_write_diagnosis ifb-sim espota)
ifb_add_test(test_records LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/RecordsTest.cpp LIBS ifb_app ifb_firmware TIMEOUT 300)
add_dependencies(test_records ifb-sim espota)
