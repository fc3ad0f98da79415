# Windows device access: the HID class driver, WinUSB, the device tree, SetupAPI enumeration, device-change
# messages, the run-time binding of the FTDI bridge's DLL, and the recording of all of them. Every system call
# goes through a table bound to the system DLLs.
add_library(orvel_windevices STATIC
  ${CMAKE_SOURCE_DIR}/win/common/importwin32api.cpp
  ${CMAKE_SOURCE_DIR}/win/fwupdater/cwindevicetree.cpp
  ${CMAKE_SOURCE_DIR}/win/fwupdater/cwindeviceenumerator.cpp
  ${CMAKE_SOURCE_DIR}/win/fwupdater/cwindevicemessages.cpp
  ${CMAKE_SOURCE_DIR}/win/fwupdater/cwindiscovery.cpp
  ${CMAKE_SOURCE_DIR}/win/fwupdater/cwinhidsystem.cpp
  ${CMAKE_SOURCE_DIR}/win/fwupdater/cwinrecording.cpp
  ${CMAKE_SOURCE_DIR}/win/fwupdater/cwinsystemcalls.cpp
  ${CMAKE_SOURCE_DIR}/win/fwupdater/cwinusbsystem.cpp)
target_link_libraries(orvel_windevices PUBLIC orvel_engine hid setupapi cfgmgr32 winusb user32)
target_compile_definitions(orvel_windevices PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)
orvel_target_defaults(orvel_windevices)
