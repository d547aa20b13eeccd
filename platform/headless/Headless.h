// Headless services: no window, no screen, no speaker. Used by the tests and
// the trace tool. (Recording surface and the rest are added here.)
#pragma once

#include "platform/Platform.h"
