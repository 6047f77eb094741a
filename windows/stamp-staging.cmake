# Run by CPack once it has installed into its staging folder, before it packs: every staged file
# and folder takes the release's time, which the zip and the installer record, so rebuilding the
# same commit gives the same bytes.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
execute_process(COMMAND touch -h -d @${CPACK_VELLORIN_SOURCE_DATE_EPOCH} ${staged}
  COMMAND_ERROR_IS_FATAL ANY)
