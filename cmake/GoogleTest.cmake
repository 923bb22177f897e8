# Google Test for the test binaries: Debian's build natively, its sources
# when cross-building for Windows (Debian ships no mingw build of it). Sets
# VARNOOK_GTEST to the libraries a test links.
if(WIN32)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(VARNOOK_GTEST GTest::gtest GTest::gtest_main)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
  set(VARNOOK_GTEST GTest::gtest GTest::gtest_main)
endif()
include(GoogleTest)
