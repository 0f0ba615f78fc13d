#pragma once

#include <filesystem>
#include <vector>

#include "backend.h"

// The picture the viewer shows when given none, in the current directory.
inline constexpr const char* kSourceFileName = "source.bmp";

// One of the viewer programs: its name, its accumulation mode's name (in
// the names of saved frames) and its frame routine.
struct ViewerProgram {
  const char* name;
  const char* modeName;
  void (*renderFrame)();
};

// The whole life of the viewer: read the arguments, load the picture, open
// the centred window, allocate the frame buffers, render the first frame
// with the light at the centre, run the message loop, release everything.
// Returns the exit code: 0 after the window was closed or the usage text
// was asked for, 1 after a start-up that failed (the user has been told
// why, in a message and on stderr), 2 for options that do not parse or
// arguments that are not one picture.
int ViewerMain(const ShellBackend& backend, const ViewerProgram& program,
               const std::vector<std::filesystem::path>& arguments);
