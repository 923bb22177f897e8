# cli_test.py: the contract and the sample files, natively and under Wine (against VARNOOK_NATIVE_CLI, the native tool).
set(VARNOOK_NATIVE_CLI "" CACHE FILEPATH "The native varnook-cli, to compare the Windows build with")
find_package(Python3 REQUIRED COMPONENTS Interpreter)
foreach(mode contract samples)
  add_test(NAME cli_${mode} COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/cli_test.py ${mode}
    $<TARGET_FILE:varnook-cli> ${PROJECT_VERSION} ${VARNOOK_TESTDATA_DIR} "${VARNOOK_NATIVE_CLI}")
  set_tests_properties(cli_${mode} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
endforeach()

# The option parser as a table, on both builds (names clash differently on Windows).
add_executable(varnook_cli_tests ${CMAKE_CURRENT_LIST_DIR}/options_test.cpp)
target_link_libraries(varnook_cli_tests PRIVATE varnook_cli_options ${VARNOOK_GTEST} varnook_warnings)
if(CMAKE_CROSSCOMPILING)
  add_test(NAME cli_options COMMAND varnook_cli_tests)
else()
  gtest_discover_tests(varnook_cli_tests DISCOVERY_TIMEOUT 30)
endif()
