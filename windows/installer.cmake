# The Windows installer, made by CPack (NSIS) from the install rules, and the portable zip, made
# with the build: Vellorin-<version>-win64.exe and Vellorin-<version>-win64.zip in the build folder.
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Vellorin)
set(CPACK_PACKAGE_VENDOR "Vellorin maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Editor for a Bezier surface patch in 3-D")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Vellorin)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Vellorin)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Start menu: the program and, beside it, the uninstaller.
set(CPACK_PACKAGE_EXECUTABLES vellorin Vellorin)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)

# A 64-bit installer into the 64-bit Program Files and registry view. CPack's default, a 32-bit
# one, would need 32-bit Windows support that a 64-bit-only Wine lacks.
# No file times in the installer (the installed files take the time of installing), so rebuilding
# the same commit gives the same bytes.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\nSetDateSave off")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Vellorin)
set(CPACK_NSIS_DISPLAY_NAME Vellorin)
set(CPACK_NSIS_MUI_ICON ${VELLORIN_ICO})
set(CPACK_NSIS_MUI_UNIICON ${VELLORIN_ICO})
set(CPACK_NSIS_INSTALLED_ICON_NAME vellorin.exe)
# An earlier version is removed first, so "Apps & features" lists one Vellorin.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_COMPRESSOR lzma)
# The program CPack strips and the installer's header carry the last commit's time.
set(CPACK_VELLORIN_SOURCE_DATE_EPOCH ${VELLORIN_SOURCE_DATE_EPOCH})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-environment.cmake)
include(CPack)

# The portable zip: the stripped program and the licence in one folder, as the installer lays them
# out. Not CPack's zip, which records each file's change time, so no rebuild would match it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(portable ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
set(staged ${CMAKE_CURRENT_BINARY_DIR}/portable)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${portable}.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${staged}
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VELLORIN_SOURCE_DATE_EPOCH}
    ${CMAKE_STRIP} -o ${staged}/vellorin.exe $<TARGET_FILE:vellorin>
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${staged}/LICENSE.txt
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/cmake/zip_files.py ${PROJECT_BINARY_DIR}/${portable}.zip
    ${staged} ${portable} ${VELLORIN_SOURCE_DATE_EPOCH} vellorin.exe LICENSE.txt
  DEPENDS vellorin ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/zip_files.py VERBATIM)
add_custom_target(vellorin_portable_zip ALL DEPENDS ${PROJECT_BINARY_DIR}/${portable}.zip)
