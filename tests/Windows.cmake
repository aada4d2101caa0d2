# The tests of a Windows build, run under Wine (scripts/wine-tests.sh). Only what needs no
# pseudo-terminal inside the test process: the virtual chip and the pty fixtures are Linux
# programs, so the Windows serial tests reach pseudo-terminals as COM ports that the harness
# maps, and the Windows command line is tested against the Linux pellion-sim by the harness.
set(support_dir ${CMAKE_CURRENT_SOURCE_DIR}/support)
add_library(pellion_test_support STATIC
  ${support_dir}/HexFixtures.cpp ${support_dir}/TempDirectory.cpp ${support_dir}/TestSerialOwner.cpp)
target_link_libraries(pellion_test_support PUBLIC pellion_core GTest::gtest)
target_include_directories(pellion_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(pellion_test_support PUBLIC
  PELLION_FIXTURES_DIR="${CMAKE_CURRENT_SOURCE_DIR}/fixtures"
  PELLION_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# One program per folder, as on Linux; the cross-compiling emulator (Wine) runs it.
function(pellion_windows_tests folder)
  list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/)
  add_executable(test_${folder} ${ARGN})
  target_link_libraries(test_${folder} PRIVATE pellion_test_support GTest::gtest_main)
  add_test(NAME windows_${folder} COMMAND test_${folder})
  set_tests_properties(windows_${folder} PROPERTIES TIMEOUT 300)
endfunction()

pellion_windows_tests(catalogue DeviceCatalogueTest.cpp)
# DownloadFileTest needs fifos and file modes.
pellion_windows_tests(image AddressTextTest.cpp Crc32Test.cpp HexImageTest.cpp HexRecordTest.cpp)
# The engine's runs need virtual chips in the test process (EngineRig).
pellion_windows_tests(engine BootloaderCodecTest.cpp BootSequenceTest.cpp HelperCodecTest.cpp
  OwnerLoopTest.cpp)
file(GLOB win32_serial_tests RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/serial CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/serial/win32/*.cpp)
pellion_windows_tests(serial CommTimeoutsTest.cpp ${win32_serial_tests})
# The port list's test runs `pellion-cli.exe ports`, found from the test program's folder.
file(RELATIVE_PATH cli_from_tests ${CMAKE_CURRENT_BINARY_DIR} ${CMAKE_BINARY_DIR}/cli/pellion-cli.exe)
file(TO_NATIVE_PATH ${cli_from_tests} cli_from_tests)
string(REPLACE "/" "\\\\" cli_from_tests ${cli_from_tests})
target_compile_definitions(test_serial PRIVATE PELLION_CLI_FROM_TESTS=L"${cli_from_tests}")
add_dependencies(test_serial pellion-cli)
