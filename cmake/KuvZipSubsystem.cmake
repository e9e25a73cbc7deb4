# A subsystem folder holds its logic and, beside it, the Qt window code that
# implements the logic's view interfaces:
#   - every *.cpp that does not end in _qt.cpp is logic: library kuv_<name>
#     (standard C++; QtCore at most, never QtGui or QtWidgets);
#   - every *_qt.cpp and *.ui is window code: library kuv_<name>_qt, linked
#     with Qt Widgets and with the logic library.
# Sources are found by globbing, so adding a file needs no CMake edit.
function(kuvzip_add_subsystem name)
  cmake_parse_arguments(ARG "" "" "LOGIC_LIBS;QT_LIBS" ${ARGN})
  # A project library that is not built (a folder with no sources yet, or the
  # engine-only build) is left out of the link.
  foreach(list_name ARG_LOGIC_LIBS ARG_QT_LIBS)
    set(kept)
    foreach(lib IN LISTS ${list_name})
      if(lib MATCHES "^kuv_" AND NOT TARGET ${lib})
        continue()
      endif()
      list(APPEND kept ${lib})
    endforeach()
    set(${list_name} ${kept})
  endforeach()
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB all_cpp CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  file(GLOB qt_cpp CONFIGURE_DEPENDS ${dir}/*_qt.cpp)
  file(GLOB ui_files CONFIGURE_DEPENDS ${dir}/*.ui)
  file(GLOB qrc_files CONFIGURE_DEPENDS ${dir}/*.qrc)
  set(logic_cpp ${all_cpp})
  if(qt_cpp)
    list(REMOVE_ITEM logic_cpp ${qt_cpp})
  endif()

  if(logic_cpp)
    add_library(kuv_${name} STATIC ${logic_cpp})
    set_target_properties(kuv_${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  else()
    add_library(kuv_${name} INTERFACE)
  endif()
  if(TARGET kuvzip-layers)
    add_dependencies(kuv_${name} kuvzip-layers)
  endif()
  if(logic_cpp)
    target_include_directories(kuv_${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(kuv_${name} PUBLIC ${ARG_LOGIC_LIBS})
  else()
    target_include_directories(kuv_${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(kuv_${name} INTERFACE ${ARG_LOGIC_LIBS})
  endif()

  if(qt_cpp AND NOT KUVZIP_ENGINE_ONLY)
    add_library(kuv_${name}_qt STATIC ${qt_cpp} ${ui_files} ${qrc_files})
    set_target_properties(kuv_${name}_qt PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    target_include_directories(kuv_${name}_qt PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
    target_link_libraries(kuv_${name}_qt PUBLIC kuv_${name} Qt6::Widgets Qt6::Gui Qt6::Core ${ARG_QT_LIBS})
  endif()
endfunction()
