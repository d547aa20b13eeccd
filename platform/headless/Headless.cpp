#include "platform/headless/Headless.h"
