#pragma once
// The passes that push a 24-bit image through the channel maps, directly or
// through the lightness or saturation of the HLS model, and the other pure
// per-pixel tone operations. Each is one pass over the rows with tables built
// once before it; large images are split over the cores with the same result.
// All raise EInvalidGraphic for a bitmap that is not 24-bit and do nothing on
// an empty one. The painting and refresh around a pass are the caller's.

#include "ChannelMaps.h"

namespace lumara {

class Bitmap;

// R <- RedMap[R], G <- GreenMap[G], B <- BlueMap[B].
void ColorFilter(Bitmap& bitmap, const ChannelMaps& maps);

// The same for a bitmap that is not the displayed image (the display-gamma
// option of the loader and the slideshow, the batch interpreter).
void ColorFilterBitmap(Bitmap& bitmap, const ChannelMaps& maps);

// R <- 255 - RedMap[255 - R], likewise G and B: the maps act on the inverted
// levels, so a map that lifts the shadows pulls down the highlights instead.
void NegColorFilter(Bitmap& bitmap, const ChannelMaps& maps);

// Lightness through GreenMap: l = L * 255 div 3600, L' = GreenMap[l] * 3600 div 255.
void LuminanceFilter(Bitmap& bitmap, const ChannelMaps& maps);

// Saturation through GreenMap then BlueMap: s = S * 255 div 3600,
// S' = BlueMap[GreenMap[s]] * 3600 div 255.
void SaturationFilter(Bitmap& bitmap, const ChannelMaps& maps);

// UnWash: each component c becomes c * c div 255.
void MultiplyRGB(Bitmap& bitmap);

// Attenuate: lightness L becomes min(3600, L * L div 3600).
void MultiplyLuminance(Bitmap& bitmap);

// UnCook: the pixel's lightness replaced by the attenuated lightness of the
// grey of its smallest component, then averaged with the original pixel.
void UnWashMore(Bitmap& bitmap);

// Negative: every component b becomes 255 - b.
void InvertBitmap(Bitmap& bitmap);

} // namespace lumara
