ifb_add_test(test_frame_codec LABEL unit SOURCES ${CMAKE_CURRENT_LIST_DIR}/FrameCodecTest.cpp LIBS ifb_link)
