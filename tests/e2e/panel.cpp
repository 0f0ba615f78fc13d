// A panel along the bottom of the screen, as a desktop has: a dock window,
// magenta, that reserves its rows (a strut) so that a window manager keeps
// other windows above it. Runs until ended. Usage: glintor-panel HEIGHT

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
  const long height = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  Display* display = XOpenDisplay(nullptr);
  if (height <= 0 || display == nullptr) {
    std::fputs("usage: glintor-panel HEIGHT, with a display\n", stderr);
    return 2;
  }
  const int screen = DefaultScreen(display);
  const long width = DisplayWidth(display, screen), bottom = DisplayHeight(display, screen);
  const Window panel = XCreateSimpleWindow(display, RootWindow(display, screen), 0, static_cast<int>(bottom - height),
                                           static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0xFF00FF);
  const Atom dock = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
  XChangeProperty(display, panel, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&dock), 1);
  // Left, right, top, bottom; then each side's extent along the screen's edge.
  const long strut[12] = {0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, width - 1};
  XChangeProperty(display, panel, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
  XMapWindow(display, panel);
  XFlush(display);
  for (;;) pause();
}
