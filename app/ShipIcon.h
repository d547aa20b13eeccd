// The program's icon, drawn from the ship's own outline so that it always
// matches the ship on the playfield: a thrusting ship turned to fly up and
// to the right. The icon tool writes it as SVG; the Linux window draws it.
#pragma once

#include "platform/LineIcon.h"

LineIcon shipIcon();
