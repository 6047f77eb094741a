// GLUT's bitmap font as freeglut keeps it, for the page's glutBitmapCharacter.
#pragma once

// Each character is its advance in pixels, then `height` rows of the glyph, bottom row first, each
// row in whole bytes with the leftmost pixel in the high bit (glBitmap's layout). The glyph's
// lower-left corner lies (xorig, yorig) below and left of the raster position.
struct BitmapFont {
    int height;
    float xorig;
    float yorig;
    const unsigned char* const* characters;  // 256 of them, by character code
};

extern const BitmapFont kTimesRoman24;  // GLUT_BITMAP_TIMES_ROMAN_24
