# Windows device access under Wine: the device layer over tables of system calls that front the simulated
# boards, and an FTD2XX.dll passing the D2XX calls on to a test's simulated FTDI bridge, in the test program's
# own folder where the binding looks for it first. Both live apart from bin/, so no program there picks the
# test DLL up.
set(ORVEL_WINDEVICES_DIR ${CMAKE_BINARY_DIR}/windevices)

add_library(orvel_ftd2xxsim SHARED ${CMAKE_CURRENT_SOURCE_DIR}/ftd2xxsim/ftd2xxsim.cpp)
set_target_properties(orvel_ftd2xxsim PROPERTIES OUTPUT_NAME FTD2XX PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${ORVEL_WINDEVICES_DIR})
target_include_directories(orvel_ftd2xxsim PRIVATE ${CMAKE_SOURCE_DIR})
orvel_target_defaults(orvel_ftd2xxsim)

orvel_test_program(test_win_devices ${CMAKE_CURRENT_SOURCE_DIR}/win/devices/*.cpp)
target_link_libraries(test_win_devices PRIVATE orvel_windevices orvel_win_common)
set_target_properties(test_win_devices PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVEL_WINDEVICES_DIR})
add_dependencies(test_win_devices orvel_ftd2xxsim)

# The helper with which the Linux emulated-device tests wait for Wine to list their hidraw devices, before they
# run OrvelFWUpdater.exe on them.
add_executable(winehidwait ${CMAKE_CURRENT_SOURCE_DIR}/win/winehidwait.cpp)
target_link_libraries(winehidwait PRIVATE orvel_windevices)
target_include_directories(winehidwait PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(winehidwait PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVEL_WINDEVICES_DIR})
orvel_target_defaults(winehidwait)
