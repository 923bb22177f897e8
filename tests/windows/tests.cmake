# The real window, driven under Wine in Xvfb by a small Win32 program of
# ours; the files it saves are then read back with an independent reader
# (mido). Only in the Windows build, and only once the program exists.
if(CMAKE_CROSSCOMPILING)
  add_executable(varnook_window_driver ${CMAKE_CURRENT_LIST_DIR}/driver.cpp)
  target_link_options(varnook_window_driver PRIVATE -municode)
  target_link_libraries(varnook_window_driver PRIVATE varnook_warnings)

  if(TARGET varnook)
    set(VARNOOK_E2E_DIR ${CMAKE_CURRENT_BINARY_DIR}/window-e2e)
    set(VARNOOK_E2E_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/run_window_test.sh)

    # One private Wine prefix for all scenarios of a run, made once.
    add_test(NAME window_e2e_prefix
      COMMAND bash ${VARNOOK_E2E_SCRIPT} prepare ${VARNOOK_E2E_DIR})
    set_tests_properties(window_e2e_prefix PROPERTIES
      FIXTURES_SETUP window_e2e RESOURCE_LOCK window_e2e_wine TIMEOUT 180)

    foreach(scenario startup-exit workflow failures about)
      add_test(NAME window_e2e_${scenario}
        COMMAND bash ${VARNOOK_E2E_SCRIPT} run ${VARNOOK_E2E_DIR}
                $<TARGET_FILE:varnook_window_driver> $<TARGET_FILE:varnook>
                ${scenario} ${VARNOOK_TESTDATA_DIR})
      # One Wine prefix, one wineserver: the scenarios take turns.
      set_tests_properties(window_e2e_${scenario} PROPERTIES
        FIXTURES_REQUIRED window_e2e RESOURCE_LOCK window_e2e_wine TIMEOUT 300)
    endforeach()
  else()
    message(STATUS "No varnook target: the window end-to-end tests are not added")
  endif()
endif()
