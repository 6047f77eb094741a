# The Windows installer (NSIS) and the portable zip, both made by CPack from the install rules:
#   Vellorin-<version>-win64.exe and Vellorin-<version>-win64.zip in the build folder.
set(CPACK_GENERATOR NSIS ZIP)
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
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Vellorin)
set(CPACK_NSIS_DISPLAY_NAME Vellorin)
set(CPACK_NSIS_MUI_ICON ${VELLORIN_ICO})
set(CPACK_NSIS_MUI_UNIICON ${VELLORIN_ICO})
set(CPACK_NSIS_INSTALLED_ICON_NAME vellorin.exe)
# An earlier version is removed first, so "Apps & features" lists one Vellorin.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_COMPRESSOR lzma)
# Both packages record the staged files' times: the release's, not the build's.
set(CPACK_VELLORIN_SOURCE_DATE_EPOCH ${VELLORIN_SOURCE_DATE_EPOCH})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/stamp-staging.cmake)
include(CPack)
