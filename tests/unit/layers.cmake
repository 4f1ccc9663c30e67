# The layers include only downwards, and link/ and app/ no widget header.
get_target_property(ifb_widgets_includes Qt6::Widgets INTERFACE_INCLUDE_DIRECTORIES)
set(ifb_widgets_dir "")
foreach(dir IN LISTS ifb_widgets_includes)
  if(dir MATCHES "QtWidgets$")
    set(ifb_widgets_dir ${dir})
  endif()
endforeach()
add_test(NAME Layers.IncludesPointDownwards
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DWIDGETS_DIR=${ifb_widgets_dir}
                 -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake)
set_tests_properties(Layers.IncludesPointDownwards PROPERTIES LABELS unit)
