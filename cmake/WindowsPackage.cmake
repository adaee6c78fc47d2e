# The Windows installer and the portable zip, both from one command in the build directory:
#   cmake --build --preset windows --target package
# (CPack's NSIS generator, with Debian's makensis, and its ZIP generator.)
#
# The programs look for "VTUtility.ini", "GDP.bin" and their drive information dumps in their own
# directory, so everything goes into one folder: Program Files\VTUtility for the installer, the
# zip's top folder for portable use.

# The manual pages as plain text with Windows line ends, which any editor there opens.
find_program(VT_GROFF groff REQUIRED)
file(GLOB vt_man_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.1)
set(vt_manuals)
foreach(page IN LISTS vt_man_pages)
  get_filename_component(name ${page} NAME_WE)
  set(text ${CMAKE_BINARY_DIR}/manual/${name}.txt)
  add_custom_command(OUTPUT ${text}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/manual
    COMMAND sh -c "GROFF_NO_SGR=1 '${VT_GROFF}' -man -Tascii -P-c -P-b -P-u \"$0\" | sed 's/$/\\r/' > \"$1\""
      ${page} ${text}
    DEPENDS ${page} VERBATIM)
  list(APPEND vt_manuals ${text})
endforeach()
add_custom_target(vt_manuals ALL DEPENDS ${vt_manuals})

install(TARGETS vtutility vtutil RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/VTUtility.ini ${vt_manuals} DESTINATION .)
file(GLOB vt_json_schemas CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/schema/*.schema.json)
install(FILES ${vt_json_schemas} DESTINATION schema)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME VTUtility)
set(CPACK_PACKAGE_VENDOR "VTUtility developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service tool for SSDs on Vantrel controllers")
set(CPACK_PACKAGE_FILE_NAME VTUtility-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY VTUtility)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY VTUtility)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/windows/license.txt)
# The debugging information stays in the build.
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The Start menu entry starts the window; its manifest asks for administrator rights.
set(CPACK_PACKAGE_EXECUTABLES vtutility VTUtility)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer for the 64-bit programs (Debian's NSIS has the stubs).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_DISPLAY_NAME VTUtility)
set(CPACK_NSIS_PACKAGE_NAME VTUtility)
set(CPACK_NSIS_INSTALLED_ICON_NAME vtutility.exe)
# A technician's settings survive an update: installing over an installed copy keeps the settings
# file it finds and puts the new version's programs, manual and schemas beside it. (Running the old
# uninstaller first would delete the settings before the install could keep them.) NSIS takes
# single quotes, which CPack passes on as they are.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS [=[
  Delete '$INSTDIR\VTUtility.ini.kept'
  IfFileExists '$INSTDIR\VTUtility.ini' 0 +2
    Rename '$INSTDIR\VTUtility.ini' '$INSTDIR\VTUtility.ini.kept'
]=])
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  IfFileExists '$INSTDIR\VTUtility.ini.kept' 0 +3
    Delete '$INSTDIR\VTUtility.ini'
    Rename '$INSTDIR\VTUtility.ini.kept' '$INSTDIR\VTUtility.ini'
]=])
include(CPack)
