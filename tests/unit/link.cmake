ifb_add_test(test_link_decoder LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReplyDecoderTest.cpp LIBS ifb_link)
ifb_add_test(test_link_receiver LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinkReceiverTest.cpp LIBS ifb_link)
ifb_add_test(test_link_stream LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinkStreamTest.cpp LIBS ifb_link TIMEOUT 300)
ifb_add_test(test_tick_clock LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/TickClockTest.cpp LIBS ifb_platform)
