# What `cmake --install` puts where, and the Debian package made of it
# (`cpack -G DEB`, which `./dev.sh package` runs). Tests, benchmarks and the
# window preview are not installed.

# udev reads rules from here (/usr/lib/udev/rules.d with the prefix /usr).
set(TIDEWELL_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING
  "Where the udev rules are installed (a relative path is under the prefix)")

# Compressed copies of text files, as Debian installs manual pages and changelogs.
function(tidewell_gzip target)
  set(outputs)
  foreach(pair IN LISTS ARGN)
    string(REPLACE "=" ";" pair ${pair})
    list(GET pair 0 source)
    list(GET pair 1 output)
    add_custom_command(OUTPUT ${output}
      COMMAND gzip -9 -n -c ${source} > ${output}
      DEPENDS ${source} VERBATIM)
    list(APPEND outputs ${output})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()

set(doc_out ${CMAKE_BINARY_DIR}/packaging)
set(man_pages tidewell tidewell-tool tidewell-sim)
set(gzipped)
foreach(page IN LISTS man_pages)
  list(APPEND gzipped ${PROJECT_SOURCE_DIR}/docs/man/${page}.1=${doc_out}/${page}.1.gz)
endforeach()
list(APPEND gzipped ${PROJECT_SOURCE_DIR}/packaging/changelog=${doc_out}/changelog.gz)
file(MAKE_DIRECTORY ${doc_out})
tidewell_gzip(tidewell_docs ${gzipped})

# The programs.
install(TARGETS tidewell tidewell-tool tidewell-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# udev rules, and the ids file as a configuration file.
install(FILES ${PROJECT_SOURCE_DIR}/data/70-tidewell.rules DESTINATION ${TIDEWELL_UDEV_RULES_DIR})
get_filename_component(ids_dir ${TIDEWELL_SYSTEM_USB_IDS} DIRECTORY)
install(FILES ${PROJECT_SOURCE_DIR}/data/usb-ids.conf DESTINATION ${ids_dir})
# The desktop entry and its icon.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tidewell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 256)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/tidewell-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tidewell.png)
endforeach()
# Manual pages, the changelog and the copyright.
foreach(page IN LISTS man_pages)
  install(FILES ${doc_out}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${doc_out}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tidewell)

# The Debian package.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^tidewell \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog does not begin with version ${PROJECT_VERSION}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/conffiles.in ${doc_out}/conffiles @ONLY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidewell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tidewell developers <tidewell@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware upgrader for the KORV-352 handset")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tidewell writes new firmware to a KORV-352 handset: the bootloader and the"
  "OS image over the handset's USB download interface, then the modem's flash"
  "regions over the serial port that the handset presents in phone download mode."
  "It runs as a window or on the terminal. tidewell-tool makes and checks"
  "packed upgraders and finds set-up faults (doctor); tidewell-sim is a"
  "simulated handset."
  "The udev rules let the plugdev group and the user at the seat open the handset"
  "and keep ModemManager away from it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS udev)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${doc_out}/conffiles ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
