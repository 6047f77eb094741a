// Scene drawing: the control polygon, the sampled surface and the patch transform.
#pragma once

// Draws text as bitmap characters from a raster position; the colour is the current one.
void drawText(float x, float y, float z, void* font, const char* text);
// Every active control point as a red dot with its letter just above it.
void drawControlPoints();
// The green net joining neighbouring active control points, rows first, then columns.
void drawControlNet();
// The user's rotation about the chosen axis, then the translation, onto the model-view matrix.
void applyObjectTransform();
// Rebuilds the base grid, then evaluates and draws the 50 x 50 surface samples.
void drawSurface();
// One yellow surface sample.
void drawSurfaceSample(float x, float y, float z);
