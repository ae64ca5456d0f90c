# Installs lumora, its man page and its systemd unit, and packs them as a
# Debian package: cmake --install, or cpack -G DEB in the build directory.
include(GNUInstallDirs)

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/version.h)
execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/version DOTTED OUTPUT_VARIABLE LUMORA_VERSION
  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE LUMORA_VERSION_RESULT)
if(NOT LUMORA_VERSION_RESULT EQUAL 0)
  message(FATAL_ERROR "scripts/version DOTTED: ${LUMORA_VERSION_RESULT}")
endif()

# The plain release build, not lumora_sanitized or a fuzzer.
install(TARGETS lumora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian wants the man page and the changelog compressed with gzip -9n (-n:
# no name or time, so the same text packs the same). Made at configure time,
# so that building the lumora target alone is enough to install; an edit of
# the source reconfigures.
function(lumora_gzip source output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${output} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${source}: ${result}")
  endif()
endfunction()

lumora_gzip(${CMAKE_SOURCE_DIR}/man/lumora.1 ${CMAKE_BINARY_DIR}/lumora.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/lumora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ExecStart names lumora where this prefix puts it.
set(LUMORA_INSTALLED_BINARY ${CMAKE_INSTALL_FULL_BINDIR}/lumora)
set(LUMORA_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING "Where lumora@.service goes, under the prefix")
configure_file(${CMAKE_SOURCE_DIR}/dist/lumora@.service.in ${CMAKE_BINARY_DIR}/lumora@.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/lumora@.service DESTINATION ${LUMORA_SYSTEMD_UNIT_DIR})
# The card's state when the machine goes to sleep or shuts down, which is
# the one that counts: a systemd-sleep hook and a unit stopped at shutdown.
configure_file(${CMAKE_SOURCE_DIR}/dist/lumora-readiness.service.in ${CMAKE_BINARY_DIR}/lumora-readiness.service
  @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/lumora-readiness.service DESTINATION ${LUMORA_SYSTEMD_UNIT_DIR})
configure_file(${CMAKE_SOURCE_DIR}/dist/system-sleep-hook.in ${CMAKE_BINARY_DIR}/system-sleep/lumora @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(PROGRAMS ${CMAKE_BINARY_DIR}/system-sleep/lumora DESTINATION lib/systemd/system-sleep)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumora)
set(CPACK_PACKAGE_VERSION ${LUMORA_VERSION})
set(CPACK_PACKAGE_CONTACT "Lumora developers <lumora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "report the Wake-on-LAN magic packets this machine receives")
set(CPACK_PACKAGE_DESCRIPTION "lumora watches an interface, or reads a capture file, and prints every
Wake-on-LAN magic packet: UDP over IPv4 and IPv6 on any port and Ethernet
frames of EtherType 0x0842, as a full report, one line each or JSON Lines,
with a summary per target MAC address. For each it says whether it would
wake this machine, and if not, why, from the cards' Wake-on-LAN state, the
neighbour table and how the frame was addressed; lumora --check says
whether this machine can be woken at all. A systemd unit, lumora@IFACE,
logs them to the journal.")
# The package's paths must be the ones the unit was configured with.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps reads libpcap0.8's and libmnl0's symbols files: the Depends
# line names the lowest version of each (and of libc, libstdc++) with every
# symbol used.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CMAKE_CROSSCOMPILING)
  # CPack's dpkg-shlibdeps knows only this machine's libraries: the cross
  # build asks the sysroot's instead.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${LUMORA_CROSS_ARCH})
  set(CPACK_LUMORA_ARCH ${LUMORA_CROSS_ARCH})
  set(CPACK_LUMORA_MULTIARCH ${LUMORA_CROSS_TRIPLE})
  set(CPACK_LUMORA_SYSROOT ${CMAKE_SYSROOT})
  set(CPACK_LUMORA_BINARY ${CMAKE_BINARY_DIR}/lumora)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cross_depends.cmake)
endif()
# The IEEE registry names each target's maker; lumora works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ieee-data)
set(CPACK_STRIP_FILES ON)
# Enables lumora-readiness.service on install, as Debian's packages do.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/dist/debian/postinst ${CMAKE_SOURCE_DIR}/dist/debian/prerm
  ${CMAKE_SOURCE_DIR}/dist/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The copyright and a changelog (signed by the package's contact) beside the
# package's files, as Debian expects.
configure_file(${CMAKE_SOURCE_DIR}/dist/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
lumora_gzip(${CMAKE_BINARY_DIR}/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
# The troubleshooting guide, as written and rendered, which each hint's
# "guide" names; and the JSON Schemas of lumora's records.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/troubleshooting.md
  ${CMAKE_SOURCE_DIR}/docs/troubleshooting.css)
execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/render-guide ${CMAKE_BINARY_DIR}/troubleshooting.html
  RESULT_VARIABLE LUMORA_GUIDE_RESULT)
if(NOT LUMORA_GUIDE_RESULT EQUAL 0)
  message(FATAL_ERROR "scripts/render-guide: ${LUMORA_GUIDE_RESULT}")
endif()
install(FILES ${CMAKE_SOURCE_DIR}/dist/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  ${CMAKE_SOURCE_DIR}/docs/troubleshooting.md ${CMAKE_BINARY_DIR}/troubleshooting.html
  ${CMAKE_SOURCE_DIR}/docs/lumora-record.schema.json ${CMAKE_SOURCE_DIR}/docs/lumora-check.schema.json
  ${CMAKE_SOURCE_DIR}/docs/lumora-attempt.schema.json ${CMAKE_SOURCE_DIR}/dist/journal-upload.conf
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lumora)
include(CPack)
