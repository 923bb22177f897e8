# Script checks of the humanising through varnook-cli, read back with mido
# (importable only by the system python). Native builds only: the script
# runs the tool directly.
if(NOT CMAKE_CROSSCOMPILING AND TARGET varnook-cli)
  foreach(check reproducible time-shift pitch-shift usage)
    add_test(NAME transform_cli_${check}
      COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/cli_humanise_check.py
              ${check} $<TARGET_FILE:varnook-cli> ${VARNOOK_TESTDATA_DIR})
    set_tests_properties(transform_cli_${check} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
  endforeach()
endif()
