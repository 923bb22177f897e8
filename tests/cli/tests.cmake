# varnook-cli from the outside (cli_test.py): the contract, natively and as varnook-cli.exe under Wine; every
# sample file natively; the Windows build against the native one (VARNOOK_NATIVE_CLI, given by scripts/test.sh).
set(VARNOOK_CLI_TEST /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/cli_test.py)
add_test(NAME cli_contract COMMAND ${VARNOOK_CLI_TEST} contract $<TARGET_FILE:varnook-cli>
  ${CMAKE_CURRENT_BINARY_DIR}/cli-contract ${PROJECT_VERSION})
if(CMAKE_CROSSCOMPILING)
  set(VARNOOK_NATIVE_CLI "" CACHE FILEPATH "The native varnook-cli, to compare the Windows build with")
  add_test(NAME cli_windows_matches_native COMMAND ${VARNOOK_CLI_TEST} compare $<TARGET_FILE:varnook-cli>
    ${CMAKE_CURRENT_BINARY_DIR}/cli-compare ${VARNOOK_TESTDATA_DIR} "${VARNOOK_NATIVE_CLI}")
  set_tests_properties(cli_windows_matches_native PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
else()
  add_test(NAME cli_sample_files COMMAND ${VARNOOK_CLI_TEST} samples $<TARGET_FILE:varnook-cli>
    ${CMAKE_CURRENT_BINARY_DIR}/cli-samples ${VARNOOK_TESTDATA_DIR})
  set_tests_properties(cli_sample_files PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()
set_tests_properties(cli_contract PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
