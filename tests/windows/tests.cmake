# The real window, driven under Wine in Xvfb by a small interpreter of step
# files (driver.cpp, which scripts/screenshot.sh uses too): one test per file.
if(CMAKE_CROSSCOMPILING AND TARGET varnook)
  add_executable(varnook_window_driver ${CMAKE_CURRENT_LIST_DIR}/driver.cpp)
  target_include_directories(varnook_window_driver PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_options(varnook_window_driver PRIVATE -municode)
  target_link_libraries(varnook_window_driver PRIVATE gdi32 varnook_warnings)

  set(run bash ${CMAKE_CURRENT_LIST_DIR}/run_window_test.sh)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/window-e2e)
  # One private Wine prefix for the run; the scenarios take turns in it.
  add_test(NAME window_prefix COMMAND ${run} prepare ${dir})
  set_tests_properties(window_prefix PROPERTIES
    FIXTURES_SETUP window RESOURCE_LOCK wine TIMEOUT 180)
  file(GLOB step_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.steps)
  foreach(file ${step_files})
    get_filename_component(name ${file} NAME_WE)
    add_test(NAME window_${name} COMMAND ${run} run ${dir}
      $<TARGET_FILE:varnook_window_driver> $<TARGET_FILE:varnook> ${file})
    set_tests_properties(window_${name} PROPERTIES
      FIXTURES_REQUIRED window RESOURCE_LOCK wine TIMEOUT 120)
  endforeach()
endif()
