cmake_minimum_required(VERSION 3.25)
# Fails when a source includes a header of a layer above its own, or when a
# layer below the dialogs includes a Qt Widgets header.
#   cmake -DSOURCE_DIR=<repo> -DWIDGETS_DIR=<QtWidgets include folder> -P CheckLayers.cmake
set(layers platform link app dialogs program)
# The widget message boxes still live in platform/; only the dialogs and the
# program may include them.
set(widget_free link app)

foreach(layer IN LISTS layers)
  file(GLOB headers RELATIVE ${SOURCE_DIR}/${layer} ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.h.in)
  foreach(h IN LISTS headers)
    string(REGEX REPLACE "\\.in$" "" h "${h}")
    set(layer_of_${h} ${layer})
  endforeach()
endforeach()

set(widget_headers "")
if(WIDGETS_DIR)
  file(GLOB widget_headers RELATIVE ${WIDGETS_DIR} ${WIDGETS_DIR}/Q*)
endif()

set(problems "")
set(rank 0)
foreach(layer IN LISTS layers)
  file(GLOB sources ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*" "\\1" name "${line}")
      if(DEFINED layer_of_${name})
        list(FIND layers ${layer_of_${name}} included_rank)
        if(included_rank GREATER rank)
          string(APPEND problems "  ${source}: includes ${name} of ${layer_of_${name}}/\n")
        endif()
      endif()
      list(FIND widget_free ${layer} is_widget_free)
      string(REGEX REPLACE "^QtWidgets/" "" bare "${name}")
      if(is_widget_free GREATER -1 AND bare IN_LIST widget_headers)
        string(APPEND problems "  ${source}: includes the widget header ${name}\n")
      endif()
    endforeach()
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

if(problems)
  message(FATAL_ERROR "Includes against the layer order (${layers}):\n${problems}")
endif()
