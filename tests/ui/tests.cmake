# The window's pure parts; under Wine also the resources of varnook.exe (needs wrestool and the
# mingw objdump) and the real window, driven in Xvfb by the step files of tests/windows.
add_executable(varnook_ui_tests ui/ui_test.cpp
  $<$<BOOL:${WIN32}>:${CMAKE_SOURCE_DIR}/ui/dropped_files.cpp>)
target_link_libraries(varnook_ui_tests PRIVATE varnook_ui_pure ${VARNOOK_GTEST} varnook_warnings
  $<$<BOOL:${WIN32}>:shell32>)
# The window driver takes the control ids from res/resource.h.
set_source_files_properties(windows/driver.cpp PROPERTIES INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR})
add_test(NAME ui_pure_tests COMMAND varnook_ui_tests)
if(NOT WIN32)
  return()
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME ui_resources COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/ui/check_resources.py
  $<TARGET_FILE:varnook> ${PROJECT_VERSION})
add_executable(varnook_window_driver windows/driver.cpp)
target_link_options(varnook_window_driver PRIVATE -municode)
target_link_libraries(varnook_window_driver PRIVATE shell32 varnook_warnings)
add_library(varnook_probe SHARED windows/probe.cpp)  # loaded beside the driver
set_target_properties(varnook_probe PROPERTIES PREFIX "")
target_link_libraries(varnook_probe PRIVATE varnook_warnings)
add_dependencies(varnook_window_driver varnook_probe)
file(GLOB steps CONFIGURE_DEPENDS windows/*.steps)
foreach(file ${steps})  # one test each, taking turns in one Wine prefix per display DPI
  get_filename_component(name ${file} NAME_WE)
  string(REGEX MATCH "[0-9]+$" dpi ${name})  # dpi144.steps runs at 144 DPI, the others at 96
  add_test(NAME window_${name} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/run_window_test.sh
    window-e2e $<TARGET_FILE:varnook_window_driver> $<TARGET_FILE:varnook> ${file} ${dpi})
  set_tests_properties(window_${name} PROPERTIES RESOURCE_LOCK wine TIMEOUT 300
    ENVIRONMENT "VARNOOK_VERSION=${PROJECT_VERSION}")
endforeach()
