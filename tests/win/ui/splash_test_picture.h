#pragma once
// The splash picture of the tests, 400 x 300: a shaded disc in a white ring
// on black, which the picture's OR makes transparent; its mask is black under
// the disc and ring and white around them.
#include "tests/win/ui/screen_capture.h"

constexpr int kTestPictureWidth = 400, kTestPictureHeight = 300;

Rgb TestPicturePixel(int x, int y);
Rgb TestMaskPixel(int x, int y);
