# Installing the Linux program: the program, the udev rules that let the user at the seat reach the devices,
# the man page, and the documentation with the demo package. CPack makes a .deb of the same files whose
# dependencies are the distribution's library packages, laid out as Debian policy (and lintian) asks.
include(GNUInstallDirs)
set(ORVEL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvel-fwupdater)

# Debian ships man pages and changelogs compressed at maximum level and without a timestamp in the header, so
# that two builds of one source give the same package.
function(orvel_compress source output)
  string(REGEX REPLACE "\\.gz$" "" uncompressed ${output})
  add_custom_command(OUTPUT ${output}
                     COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${uncompressed}
                     COMMAND gzip -9nf ${uncompressed}
                     DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
endfunction()
set(ORVEL_MANPAGE ${CMAKE_BINARY_DIR}/compressed/orvel-fwupdater.1.gz)
set(ORVEL_CHANGELOG ${CMAKE_BINARY_DIR}/compressed/changelog.gz)
orvel_compress(linux/man/orvel-fwupdater.1 ${ORVEL_MANPAGE})
orvel_compress(linux/debian/changelog ${ORVEL_CHANGELOG})
add_custom_target(orvel_fwupdater_compressed_docs ALL DEPENDS ${ORVEL_MANPAGE} ${ORVEL_CHANGELOG})
# Building the program is enough to install it.
add_dependencies(orvel-fwupdater orvel_fwupdater_compressed_docs)

install(TARGETS orvel-fwupdater RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ORVEL_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/linux/debian/copyright ${ORVEL_CHANGELOG} ${CMAKE_SOURCE_DIR}/README.md
              ${CMAKE_SOURCE_DIR}/docs/linux.md ${CMAKE_SOURCE_DIR}/docs/simulation.md
              ${CMAKE_SOURCE_DIR}/docs/deployment.md ${CMAKE_SOURCE_DIR}/docs/result.schema.json
        DESTINATION ${ORVEL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/demo DESTINATION ${ORVEL_DOCDIR}/examples
        PATTERN "generate.py" EXCLUDE)

# udev reads rules from /usr/lib/udev/rules.d (packages), /usr/local/lib/udev/rules.d (local installs),
# /run/udev/rules.d and /etc/udev/rules.d (the administrator's). lib/udev is not a multiarch library
# directory, so it is not CMAKE_INSTALL_LIBDIR.
install(FILES ${CMAKE_SOURCE_DIR}/linux/udev/70-orvel-fwupdater.rules DESTINATION lib/udev/rules.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvel-fwupdater)
set(CPACK_PACKAGE_VENDOR "Orvel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Orvel pen tablets and pen displays")
# Debian wraps nothing: every line of the long description stays within 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Runs an update package for an Orvel pen tablet or pen display: it updates"
  "the pen, touch and bluetooth boards through hidraw and libusb and a pen"
  "display's scaler through its FTDI bridge. Its udev rules give the user at"
  "the seat access to the devices.")
set(CPACK_PACKAGE_CONTACT "OrvelFWUpdater developers <firmware@orvel.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES TRUE)
# The libraries the program is linked against, as dpkg-shlibdeps names their packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/linux/debian/postinst ${CMAKE_SOURCE_DIR}/linux/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
