#pragma once

#include <string>

extern std::string typedInitials;

// None typed, as the program starts.
void resetInitials();

// Digits set the throttle in play; after a qualifying game over three
// printable characters sign the table.
void handleTypedCharacter(int code);
