# What the Windows build needs before its targets: Wine to run the test programs, and freeglut.

# add_test runs the .exe programs through Wine, in the build folder's own prefix.
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
vellorin_wine_env(wine_env ${CMAKE_BINARY_DIR})
if(VELLORIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${wine_env} ${VELLORIN_WINE})
endif()

# freeglut: Debian's source package (cmake/freeglut.cmake), fetched once into the build folder and
# built there as a static library with the same toolchain; find_package(GLUT) then finds it.
set(freeglut_dir ${CMAKE_BINARY_DIR}/freeglut)
set(freeglut_prefix ${freeglut_dir}/install)
if(NOT EXISTS ${freeglut_prefix}/lib/libglut.a)
  include(${PROJECT_SOURCE_DIR}/cmake/freeglut.cmake)
  vellorin_freeglut_source(${freeglut_dir} freeglut_source)
  # Menus in the font the Linux build's freeglut uses, so they look the same on both; the Windows
  # default (8 x 13) also draws a glyph for the tabs of the help pages' blank lines.
  set(menu_header ${freeglut_source}/src/mswin/fg_internal_mswin.h)
  file(READ ${menu_header} text)
  string(REPLACE "FREEGLUT_MENU_FONT    GLUT_BITMAP_8_BY_13" "FREEGLUT_MENU_FONT    GLUT_BITMAP_HELVETICA_18"
    patched "${text}")
  if(patched STREQUAL text AND NOT text MATCHES "GLUT_BITMAP_HELVETICA_18")
    message(FATAL_ERROR "freeglut: no menu font setting in ${menu_header}")
  endif()
  file(WRITE ${menu_header} "${patched}")
  message(STATUS "Building freeglut from ${freeglut_source}")
  # Its own warnings are not ours to fix: the output goes to a log, shown only on failure.
  set(log ${freeglut_dir}/build.log)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${freeglut_source} -B ${freeglut_dir}/build
      -G ${CMAKE_GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_INSTALL_PREFIX=${freeglut_prefix} -DFREEGLUT_BUILD_SHARED_LIBS=OFF
      -DFREEGLUT_BUILD_STATIC_LIBS=ON -DFREEGLUT_REPLACE_GLUT=ON -DFREEGLUT_BUILD_DEMOS=OFF
    OUTPUT_FILE ${log} ERROR_FILE ${log} RESULT_VARIABLE failed)
  if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${freeglut_dir}/build --target install -j 2
      OUTPUT_FILE ${log} ERROR_FILE ${log} RESULT_VARIABLE failed)
  endif()
  if(failed)
    file(READ ${log} text)
    message(FATAL_ERROR "freeglut did not build:\n${text}")
  endif()
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${freeglut_prefix})

find_package(OpenGL REQUIRED COMPONENTS OpenGL)
find_package(GLUT REQUIRED)
# The static freeglut needs FREEGLUT_STATIC in every file that includes it, and OpenGL, the
# multimedia timer (winmm) and GDI after it on the link line.
set_property(TARGET GLUT::GLUT APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS FREEGLUT_STATIC)
set_property(TARGET GLUT::GLUT APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenGL::GL winmm gdi32)
