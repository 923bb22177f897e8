# Script-driven checks of varnook-cli over real files and its command-line
# contract. They run the native tool, so not under the Windows cross build.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME cli_sample_files_round_trip
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/cli_corpus_test.py
      $<TARGET_FILE:varnook-cli> ${VARNOOK_TESTDATA_DIR} ${CMAKE_CURRENT_BINARY_DIR}/cli-corpus)
  set_tests_properties(cli_sample_files_round_trip PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)

  add_test(NAME cli_contract
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/cli_test.sh
      $<TARGET_FILE:varnook-cli> ${CMAKE_CURRENT_BINARY_DIR}/cli-contract)
  set_tests_properties(cli_contract PROPERTIES TIMEOUT 300)
endif()
