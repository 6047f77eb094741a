# freeglut's Debian source package, which the Windows build compiles and the browser build takes its
# bitmap font from: fetched once per build folder into DIR by freeglut-source.sh (apt-get source).
# Sets OUT to the unpacked source folder.
function(vellorin_freeglut_source dir out)
  execute_process(COMMAND bash ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/freeglut-source.sh ${dir}
    OUTPUT_VARIABLE source OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE ".*\n" "" source "${source}")
  set(${out} ${source} PARENT_SCOPE)
endfunction()
