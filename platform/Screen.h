#pragma once

// Measures of the user's screen.
namespace platform {

// Width of the primary screen in pixels.
int PrimaryScreenWidth();

}  // namespace platform
