# How the Windows programs are run on this host: Wine, quiet (no Mono or Gecko prompts, no menu
# entries written to the user's desktop), in a prefix inside the Windows build folder.
#   vellorin_wine_env(<var> <windows build folder>): the environment assignments, as a list.
# Debian 12's wine64 package installs its loader under /usr/lib/wine only.
find_program(VELLORIN_WINE NAMES wine64 wine PATHS /usr/lib/wine)
find_program(VELLORIN_WINESERVER NAMES wineserver PATHS /usr/lib/wine)
function(vellorin_wine_env var build_dir)
  set(${var} WINEPREFIX=${build_dir}/wineprefix WINEDEBUG=-all
    "WINEDLLOVERRIDES=winemenubuilder.exe,mscoree,mshtml=" PARENT_SCOPE)
endfunction()
