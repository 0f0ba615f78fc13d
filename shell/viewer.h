#pragma once

#include "backend.h"

// The picture the viewer shows, looked up in the current directory.
inline constexpr const char* kSourceFileName = "source.bmp";

// The whole life of the viewer: load the picture, open the centred window,
// allocate the frame buffers, render the first frame with the light at the
// centre, run the message loop, release everything. Returns the exit code:
// 0 after the window was closed, 1 after a start-up that failed (the user
// has been told why, in a message and on stderr).
int ViewerMain(const ShellBackend& backend, void (*renderFrame)());
