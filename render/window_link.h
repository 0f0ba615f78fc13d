#pragma once

// The renderer's only contact with the main window. The shell installs the
// two operations; left null (headless) the title and the repaint request go
// nowhere.
struct WindowOperations {
  void (*setTitle)(void* window, const char* text);
  void (*requestRepaint)(void* window);
};

extern WindowOperations windowOperations;
