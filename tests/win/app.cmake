# Included from tests/CMakeLists.txt for the Windows build.

# The process ports against their system calls, and the resources of the built program.
add_executable(test_win_app ${CMAKE_CURRENT_SOURCE_DIR}/win/winports_test.cpp
                            ${CMAKE_CURRENT_SOURCE_DIR}/win/winresources_test.cpp
                            ${CMAKE_CURRENT_SOURCE_DIR}/win/desktop_test.cpp)
target_link_libraries(test_win_app PRIVATE orvel_testsupport orvel_win_common orvel_engine version GTest::gtest_main)
target_include_directories(test_win_app PRIVATE ${CMAKE_SOURCE_DIR})
orvel_target_defaults(test_win_app)
orvel_test_headers(test_win_app)
add_dependencies(test_win_app OrvelFWUpdater)
add_test(NAME test_win_app COMMAND test_win_app --gtest_brief=1)
set_tests_properties(test_win_app PROPERTIES
  ENVIRONMENT "WINEDEBUG=-all;ORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  TIMEOUT 300)

# The program's windows as a user sees them: a driver under Wine starts OrvelFWUpdater.exe against simulated
# devices, reads its windows and controls, answers its dialogs and takes screenshots; the script gives it a
# virtual X display and a Wine desktop.
add_executable(test_win_gui ${CMAKE_CURRENT_SOURCE_DIR}/win/gui/guidriver_test.cpp)
target_link_libraries(test_win_gui PRIVATE orvel_testsupport orvel_engine GTest::gtest)
target_include_directories(test_win_gui PRIVATE ${CMAKE_SOURCE_DIR})
orvel_target_defaults(test_win_gui)
orvel_test_headers(test_win_gui)
add_dependencies(test_win_gui OrvelFWUpdater)
add_test(NAME test_win_gui
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win/gui/run-gui-tests ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:test_win_gui>
          ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(test_win_gui PROPERTIES
  ENVIRONMENT "WINEDEBUG=-all;ORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  TIMEOUT 400)
# The windows on a screen scaled to 150 %: the scaling belongs to a Wine prefix, so this session has its own
# (made on the first run, without Wine's .NET and HTML engines, which the program does not use).
add_test(NAME test_win_gui_144dpi
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win/gui/run-gui-tests ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:test_win_gui>
          ${CMAKE_BINARY_DIR}/screenshots --gtest_filter=CHighDpiTest.*)
set_tests_properties(test_win_gui_144dpi PROPERTIES
  ENVIRONMENT "WINEDEBUG=-all;ORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR};ORVEL_GUI_DPI=144;WINEPREFIX=${CMAKE_BINARY_DIR}/wine-144dpi;WINEDLLOVERRIDES=mscoree,mshtml="
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  TIMEOUT 400)
