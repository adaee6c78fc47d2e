# Installed layout and the Debian package.
#
# The programs look for "VTUtility.ini", "GDP.bin" and their drive information dumps in their own
# directory (through /proc/self/exe), so both live in one program directory, PREFIX/lib/vtutility,
# with links in PREFIX/bin. The settings file itself is a configuration file under /etc (for the
# prefix /usr; PREFIX/etc otherwise), which the package manager keeps across upgrades; the program
# directory holds a link to it.

include(GNUInstallDirs)

set(VT_INSTALL_PROGRAM_DIR "lib/vtutility" CACHE STRING "Program directory, relative to the prefix")
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(vt_programs vtutil)
if(TARGET vtutility)
  list(PREPEND vt_programs vtutility)
endif()
install(TARGETS ${vt_programs} RUNTIME DESTINATION ${VT_INSTALL_PROGRAM_DIR})
# The helper runs as root only through pkexec or sudo: an ordinary program, not set-user-ID, and
# no link in PREFIX/bin, since nobody starts it by hand.
install(TARGETS vtutility-helper RUNTIME DESTINATION ${VT_INSTALL_PROGRAM_DIR}
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Manual pages, compressed as Debian wants them; every page in docs/man is installed.
file(GLOB vt_man_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.1)
set(vt_man_archives)
foreach(page IN LISTS vt_man_pages)
  get_filename_component(name ${page} NAME)
  set(archive ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9 -n -c ${page} > ${archive}
    DEPENDS ${page} VERBATIM)
  list(APPEND vt_man_archives ${archive})
endforeach()
add_custom_target(vt_man_pages ALL DEPENDS ${vt_man_archives})
install(FILES ${vt_man_archives} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(vt_completion ${PROJECT_SOURCE_DIR}/packaging/vtutil.bash-completion)
foreach(program IN LISTS vt_programs)
  install(FILES ${vt_completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME ${program})
endforeach()

# The JSON Schemas of vtutil's documents, one per subcommand and the parts they share.
file(GLOB vt_json_schemas CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/schema/*.schema.json)
install(FILES ${vt_json_schemas} DESTINATION ${CMAKE_INSTALL_DATADIR}/vtutility/schema)

# The alerting and recording rules for Prometheus, loaded from here by an operator's rule_files.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/prometheus/vtutility.rules.yml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/vtutility/prometheus)

if(TARGET vtutility)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vtutility.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# What depends on where the tree lands is worked out when it is installed, so that the package
# (prefix /usr) and an install under another prefix each get their own paths.
install(CODE "
  set(vt_source_dir \"${PROJECT_SOURCE_DIR}\")
  set(vt_program_subdir \"${VT_INSTALL_PROGRAM_DIR}\")
  set(vt_bin_subdir \"${CMAKE_INSTALL_BINDIR}\")
  set(vt_data_subdir \"${CMAKE_INSTALL_DATADIR}\")
  set(vt_programs \"${vt_programs}\")
  set(vt_with_window \"$<TARGET_EXISTS:vtutility>\")
")
install(CODE [[
  set(prefix "${CMAKE_INSTALL_PREFIX}")
  set(root "$ENV{DESTDIR}")
  if(prefix STREQUAL "/usr")
    set(etc_dir "/etc/vtutility")
  else()
    set(etc_dir "${prefix}/etc/vtutility")
  endif()
  set(program_dir "${prefix}/${vt_program_subdir}")

  # An administrator's settings survive a reinstall, as the package manager keeps them.
  if(EXISTS "${root}${etc_dir}/VTUtility.ini")
    message(STATUS "Keeping: ${root}${etc_dir}/VTUtility.ini")
  else()
    file(INSTALL "${vt_source_dir}/packaging/VTUtility.ini" DESTINATION "${etc_dir}"
      PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  message(STATUS "Installing: ${root}${program_dir}/VTUtility.ini -> ${etc_dir}/VTUtility.ini")
  file(CREATE_LINK "${etc_dir}/VTUtility.ini" "${root}${program_dir}/VTUtility.ini" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${root}${program_dir}/VTUtility.ini")

  # Relative links within the prefix, so that /proc/self/exe names the program directory.
  file(MAKE_DIRECTORY "${root}${prefix}/${vt_bin_subdir}")
  file(RELATIVE_PATH to_programs "${prefix}/${vt_bin_subdir}" "${program_dir}")
  foreach(program IN LISTS vt_programs)
    message(STATUS "Installing: ${root}${prefix}/${vt_bin_subdir}/${program} -> ${to_programs}/${program}")
    file(CREATE_LINK "${to_programs}/${program}" "${root}${prefix}/${vt_bin_subdir}/${program}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${root}${prefix}/${vt_bin_subdir}/${program}")
  endforeach()

  # The menu entry starts the window as the user; the window, like vtutil, starts the helper
  # through pkexec, whose policy names the installed helper, since pkexec runs only that path.
  set(VT_PROGRAM_PATH "${program_dir}/vtutility")
  set(VT_HELPER_PATH "${program_dir}/vtutility-helper")
  set(vt_templates "vtutility-helper.policy.in;polkit-1/actions/org.vtutility.pkexec.helper.policy")
  if(vt_with_window)
    list(APPEND vt_templates "vtutility.desktop.in;applications/vtutility.desktop")
  endif()
  while(vt_templates)
    list(POP_FRONT vt_templates template target)
    set(output "${root}${prefix}/${vt_data_subdir}/${target}")
    message(STATUS "Installing: ${output}")
    configure_file("${vt_source_dir}/packaging/${template}" "${output}" @ONLY)
    file(CHMOD "${output}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${output}")
  endwhile()
]])

# The metrics service and its timer, installed but not enabled: the administrator enables the
# timer where a node exporter collects the textfile directory. The service names the installed
# vtutil, so it is written when the tree lands.
install(CODE "set(vt_systemd_dir \"${PROJECT_SOURCE_DIR}/packaging/systemd\")")
install(CODE [[
  set(unit_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
  set(VT_VTUTIL_PATH "${CMAKE_INSTALL_PREFIX}/${vt_bin_subdir}/vtutil")
  message(STATUS "Installing: ${unit_dir}/vtutility-metrics.service")
  configure_file("${vt_systemd_dir}/vtutility-metrics.service.in"
    "${unit_dir}/vtutility-metrics.service" @ONLY)
  # file(INSTALL) adds DESTDIR itself.
  file(INSTALL "${vt_systemd_dir}/vtutility-metrics.timer"
    DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system"
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  file(CHMOD "${unit_dir}/vtutility-metrics.service"
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${unit_dir}/vtutility-metrics.service")
]])

# The Debian package: cpack in the build directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vtutility)
set(CPACK_PACKAGE_VENDOR "VTUtility developers")
set(CPACK_PACKAGE_CONTACT "VTUtility developers <vtutility@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for SSDs on Vantrel controllers")
set(CPACK_PACKAGE_DESCRIPTION
  "Finds the drives on SATA ports or behind Vantrel's USB-to-SATA bridges whose controller\n\
answers Vantrel's vendor commands, and reads out the controller's configuration and flash\n\
geometry, IDENTIFY data, erase counts, bad blocks and remaps, S.M.A.R.T. data and the\n\
firmware's UART log. vtutility is the desktop program, vtutil the headless front end.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

find_program(VT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(vt_depends)
else()
  set(vt_depends libc6 libstdc++6 libgcc-s1)
  if(TARGET vtutility)
    list(APPEND vt_depends libqt6core6 libqt6gui6 libqt6widgets6)
  endif()
endif()
# Loaded at run time, so dpkg-shlibdeps does not see them: cairo, which draws vtutil's heat maps,
# and the fonts found through fontconfig (the heat maps are written in DejaVu Sans).
list(APPEND vt_depends libcairo2 fonts-dejavu-core)
if(TARGET vtutility)
  # Loaded at run time, so no library dependency names them: the window's platform plugin,
  # pkexec, which starts the helper for the window run from the menu, and the fonts the control
  # table names.
  list(APPEND vt_depends qt6-qpa-plugins pkexec fonts-liberation)
endif()
list(JOIN vt_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
