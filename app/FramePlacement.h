// Where the frame goes in a window whose size is no longer the playfield's:
// centred on black, shrunk to fit a smaller window, enlarged by whole steps
// in a much larger one (or, drawn again at the window's pixels, at any
// scale), and mouse positions taken back to the playfield.
#pragma once

#include "platform/Platform.h"

// The rectangle of the window's client area the frame is shown in; empty
// when either size is empty.
Rect placeFrame(int frameWidth, int frameHeight, int windowWidth, int windowHeight);

// The same for the vector look, whose lines are drawn at any scale: as
// large as fits, keeping the aspect, centred. A window of the field's own
// size is the field; any other keeps `margin` pixels all round for the
// border that shows the field's edge.
Rect placeVectorFrame(int frameWidth, int frameHeight, int windowWidth, int windowHeight,
                      int margin);

// A point of the client area as a point of the frame shown at `place`,
// kept inside the frame.
void windowToFrame(const Rect& place, int frameWidth, int frameHeight, int& x, int& y);
