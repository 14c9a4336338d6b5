// The picture strips the grids take their tree icons and sub-item images from,
// looked up by bitmap id. The program may register its own strips; the ids the
// grids use (150, 161, 163, 172) have built-in strips drawn here.
#pragma once

#include "widgets/grid/GridTypes.h"

#include <QImage>
#include <QPixmap>

#include <vector>

namespace qmx::grid {

// Built-in strip ids and their images: 0 expanded branch, 1 collapsed
// branch, 2 leaf, then further glyphs.
constexpr int kBitmapTreeIcons = 161;     // 512 x 17, 32 images
constexpr int kBitmapSubItems = 150;      // 80 x 16, 5 images
constexpr int kBitmapFlatIcons = 163;     // 80 x 16, 5 images
constexpr int kBitmapConfigIcons = 172;   // 92 x 16, 5 images of 16 pixels

// Registers (or replaces) the strip of a bitmap id; pixels of the mask colour
// given when the strip is cut become transparent.
void RegisterGridBitmap(int id, const QImage& strip);
// The strip of an id; a null image for an unknown id.
QImage GridBitmap(int id);
// Cuts a strip into images `width` pixels wide (as many as fit), with the
// mask colour made transparent. Empty when the strip is null or too narrow.
std::vector<QPixmap> CutGridStrip(const QImage& strip, int width, GridColor mask);
// CutGridStrip of an id's strip, cut once until the id's strip is registered
// again. Grid windows only (the pixmaps belong to the window thread).
std::vector<QPixmap> GridImages(int id, int width, GridColor mask);

}  // namespace qmx::grid
