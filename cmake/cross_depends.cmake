# Read by cpack for a cross-built lumora: its Depends line from
# dpkg-shlibdeps run against the sysroot's dpkg database and libraries, as
# CPack's own call would for this machine's. The values come from
# package.cmake as CPACK_LUMORA_* variables.
set(lumora_shlibdeps_dir ${CPACK_PACKAGE_DIRECTORY}/cross-shlibdeps)
file(MAKE_DIRECTORY ${lumora_shlibdeps_dir}/debian)
file(WRITE ${lumora_shlibdeps_dir}/debian/control
  "Source: lumora\n\nPackage: lumora\nArchitecture: ${CPACK_LUMORA_ARCH}\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_HOST_ARCH=${CPACK_LUMORA_ARCH}
    dpkg-shlibdeps -O --admindir=${CPACK_LUMORA_SYSROOT}/var/lib/dpkg
    -l${CPACK_LUMORA_SYSROOT}/lib/${CPACK_LUMORA_MULTIARCH} -l${CPACK_LUMORA_SYSROOT}/usr/lib/${CPACK_LUMORA_MULTIARCH}
    ${CPACK_LUMORA_BINARY}
  WORKING_DIRECTORY ${lumora_shlibdeps_dir} OUTPUT_VARIABLE lumora_shlibs ERROR_VARIABLE lumora_shlibs_error
  RESULT_VARIABLE lumora_shlibs_result)
if(NOT lumora_shlibs_result EQUAL 0 OR NOT lumora_shlibs MATCHES "^shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps for ${CPACK_LUMORA_ARCH}: ${lumora_shlibs_error}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${CMAKE_MATCH_1})
