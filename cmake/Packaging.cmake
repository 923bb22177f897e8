# What a user downloads, made by cpack in a build folder (scripts/package.sh collects them in
# dist/): on Windows a zip to unpack anywhere and run, on Linux varnook-cli as a .deb and a
# .tar.gz. Every file name and every text in them takes the version of project().
set(CPACK_PACKAGE_VENDOR "the Varnook developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
# cpack builds none of the tests: scripts/package.sh builds the programs it packs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(packaged ${CMAKE_BINARY_DIR}/packaged)

if(WIN32)
  # Text for Notepad: CR LF line ends. The executables link the mingw-w64 runtime and winpthreads
  # statically, whose licences ask for their notices to go with them; Debian's package of that
  # runtime holds them all.
  set(VARNOOK_MINGW_COPYRIGHT /usr/share/doc/mingw-w64-x86-64-dev/copyright CACHE FILEPATH
    "The copyright and licence notices of the mingw-w64 runtime and winpthreads")
  if(EXISTS ${VARNOOK_MINGW_COPYRIGHT})
    file(READ ${VARNOOK_MINGW_COPYRIGHT} VARNOOK_MINGW_NOTICES)
    # NEWLINE_STYLE converts only the template's own lines, not what is put in.
    string(REPLACE "\n" "\r\n" VARNOOK_MINGW_NOTICES "${VARNOOK_MINGW_NOTICES}")
  else()
    message(WARNING "No ${VARNOOK_MINGW_COPYRIGHT}: the zip will lack the runtime's notices")
  endif()
  configure_file(doc/README-windows.txt.in ${packaged}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(doc/NOTICES-windows.txt.in ${packaged}/NOTICES.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${packaged}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS varnook varnook-cli RUNTIME DESTINATION .)
  install(FILES ${packaged}/README.txt ${packaged}/LICENSE.txt ${packaged}/NOTICES.txt
    DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME varnook-${PROJECT_VERSION}-win64)
else()
  # The manual page gzipped, as Debian keeps them.
  configure_file(doc/varnook-cli.1.in ${packaged}/varnook-cli.1 @ONLY)
  execute_process(COMMAND gzip -9nc ${packaged}/varnook-cli.1 OUTPUT_FILE ${packaged}/varnook-cli.1.gz
    COMMAND_ERROR_IS_FATAL ANY)
  install(TARGETS varnook-cli RUNTIME DESTINATION bin)
  install(FILES ${packaged}/varnook-cli.1.gz DESTINATION share/man/man1)
  install(FILES README.md LICENSE DESTINATION share/doc/varnook)
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGE_NAME varnook-cli)
  set(CPACK_PACKAGE_FILE_NAME varnook-cli-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "humanise Standard MIDI Files")
  set(CPACK_PACKAGE_DESCRIPTION "varnook-cli moves the events of a quantised MIDI file in time
and bends its notes by small random amounts, track by track, in a classic style or
in a musical one that keeps chords together and note lengths as they were.
Saving never leaves a broken file.")
  set(CPACK_PACKAGE_CONTACT "the Varnook developers <varnook@example.org>")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  # Its dependencies as Debian's own tools find them: dpkg-shlibdeps over the executable.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
