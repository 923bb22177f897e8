# Tests of the window's pure parts (label text, pane arithmetic): natively,
# and under Wine in the cross build, which adds the reading of a file drop
# and the check of the resources compiled into varnook.exe.
add_executable(varnook_ui_tests
  ${CMAKE_SOURCE_DIR}/ui/amount_label.cpp
  ${CMAKE_SOURCE_DIR}/ui/pane_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/amount_label_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_layout_test.cpp
)
target_include_directories(varnook_ui_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(varnook_ui_tests PRIVATE ${VARNOOK_GTEST} varnook_warnings)

if(CMAKE_CROSSCOMPILING)
  target_sources(varnook_ui_tests PRIVATE
    ${CMAKE_SOURCE_DIR}/ui/dropped_files.cpp ${CMAKE_CURRENT_LIST_DIR}/dropped_files_test.cpp)
  target_link_libraries(varnook_ui_tests PRIVATE shell32)
  add_test(NAME ui_pure_tests COMMAND varnook_ui_tests)
else()
  gtest_discover_tests(varnook_ui_tests DISCOVERY_TIMEOUT 30)
endif()

if(WIN32 AND TARGET varnook)
  # Imports, icon, manifest and version of the built program (needs wrestool
  # from icoutils and the mingw objdump).
  add_test(NAME ui_resources
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/check_resources.py $<TARGET_FILE:varnook>)
endif()
