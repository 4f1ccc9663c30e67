ifb_add_test(test_reply_latency LABEL e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReplyLatencyTest.cpp LIBS ifb_app util)
add_dependencies(test_reply_latency ifb-sim)
