# GLUT's Times Roman 24 bitmap font for the page, taken from freeglut's own font data at configure
# time: vellorin_bitmap_font(SOURCE OUT) writes OUT, a C++ file that defines kTimesRoman24
# (web/font.h) from SOURCE/src/fg_font_data.c. The glyph rows are copied as they stand.
function(vellorin_bitmap_font source out)
  set(data ${source}/src/fg_font_data.c)
  file(READ ${data} text)
  string(REGEX MATCH "TimesRoman24_Character_Map\\[\\] = {[^}]*}" map "${text}")
  string(REGEX MATCHALL "TimesRoman24_Character_[0-9]+" entries "${map}")
  string(REGEX MATCH "SFG_Font fgFontTimesRoman24 = {[^,]*, *256, *([0-9]+), *TimesRoman24_Character_Map, *([-0-9.]+), *([-0-9.]+) *}"
    font "${text}")
  set(height ${CMAKE_MATCH_1})
  set(xorig ${CMAKE_MATCH_2})
  set(yorig ${CMAKE_MATCH_3})
  # Every glyph's bytes, but only those the map names: the file also holds the control
  # characters, commented out.
  string(REGEX MATCHALL "TimesRoman24_Character_[0-9]+\\[\\] = {[^}]*}" glyphs "${text}")
  set(defined "")
  set(code "")
  foreach(glyph IN LISTS glyphs)
    string(REGEX MATCH "^TimesRoman24_Character_[0-9]+" name "${glyph}")
    if(name IN_LIST entries AND NOT name IN_LIST defined)
      list(APPEND defined ${name})
      string(APPEND code "const unsigned char ${glyph}" ";" "\n")
    endif()
  endforeach()
  list(LENGTH entries count)
  list(LENGTH defined glyph_count)
  if(NOT font OR NOT count EQUAL 256 OR glyph_count LESS 95)
    message(FATAL_ERROR "no Times Roman 24 in ${data} (${glyph_count} glyphs, ${count} map entries)")
  endif()
  list(JOIN entries ",\n    " entries)
  file(CONFIGURE OUTPUT ${out} @ONLY CONTENT [=[
// Made at configure time from freeglut's fg_font_data.c: GLUT_BITMAP_TIMES_ROMAN_24.
#include "web/font.h"

namespace {
@code@
const unsigned char* const characters[256] = {
    @entries@};
}  // namespace

const BitmapFont kTimesRoman24 = {@height@, float(@xorig@), float(@yorig@), characters};
]=])
endfunction()
