#include "scores/Initials.h"

std::string typedInitials;
