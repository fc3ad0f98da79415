# Installing the Linux program: the program, the udev rules that let the user at the seat reach the devices,
# the man page, and the documentation with the demo package. CPack makes a .deb of the same files whose
# dependencies are the distribution's library packages.
include(GNUInstallDirs)
set(ORVEL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvel-fwupdater)

install(TARGETS orvel-fwupdater RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/linux/man/orvel-fwupdater.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/linux.md ${CMAKE_SOURCE_DIR}/docs/simulation.md
        DESTINATION ${ORVEL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/demo DESTINATION ${ORVEL_DOCDIR}/examples
        PATTERN "generate.py" EXCLUDE)

# udev reads its rules from /usr/lib/udev/rules.d (packages) and /etc/udev/rules.d (the administrator's),
# not from /usr/local: a system-wide local install puts them into /etc, any other prefix (a package being
# built, /opt, a staging folder) under its own lib/udev/rules.d. Decided when installing, for the prefix
# given then.
install(CODE "set(ORVEL_UDEV_RULES \"${CMAKE_SOURCE_DIR}/linux/udev/70-orvel-fwupdater.rules\")")
install(CODE [[
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
    set(rules_dir "/etc/udev/rules.d")
  else()
    set(rules_dir "${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d")
  endif()
  file(INSTALL "${ORVEL_UDEV_RULES}" DESTINATION "${rules_dir}")
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvel-fwupdater)
set(CPACK_PACKAGE_VENDOR "Orvel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Orvel pen tablets and pen displays")
set(CPACK_PACKAGE_DESCRIPTION "Runs an update package for an Orvel pen tablet or pen display: it updates the \
pen, touch and bluetooth boards through hidraw and libusb and a pen display's scaler through its FTDI bridge. \
Its udev rules give the user at the seat access to the devices.")
set(CPACK_PACKAGE_CONTACT "OrvelFWUpdater developers <firmware@orvel.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES TRUE)
# The libraries the program is linked against, as dpkg-shlibdeps names their packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/linux/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
