# Tests of the window's pure parts (label text, pane arithmetic): natively,
# and under Wine in the cross build. The cross build also checks the resources
# compiled into varnook.exe.
add_executable(varnook_ui_tests
  ${CMAKE_SOURCE_DIR}/ui/amount_label.cpp
  ${CMAKE_SOURCE_DIR}/ui/pane_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/amount_label_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_layout_test.cpp
)
target_include_directories(varnook_ui_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(varnook_ui_tests PRIVATE ${VARNOOK_GTEST} varnook_warnings)

if(CMAKE_CROSSCOMPILING)
  add_test(NAME ui_pure_tests COMMAND varnook_ui_tests)
else()
  gtest_discover_tests(varnook_ui_tests DISCOVERY_TIMEOUT 30)
endif()

if(WIN32 AND TARGET varnook)
  # Dialog templates, menu, icon, version, manifest and import table of the
  # built program (needs wrestool from icoutils and the mingw objdump).
  add_test(NAME ui_resources
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/check_resources.py $<TARGET_FILE:varnook>)
endif()
