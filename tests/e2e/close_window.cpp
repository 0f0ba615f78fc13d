// Asks an X window to close, as a window manager's close button does: a
// WM_DELETE_WINDOW client message. With --destroy, destroys the window from
// this other client instead, as if it had gone behind its owner's back.
// Usage: glintor-close-window [--destroy] WINDOW_ID

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const bool destroy = argc == 3 && std::strcmp(argv[1], "--destroy") == 0;
  if (argc != 2 && !destroy) {
    std::fputs("usage: glintor-close-window [--destroy] WINDOW_ID\n", stderr);
    return 2;
  }
  if (destroy) ++argv;
  char* end = nullptr;
  const unsigned long window = std::strtoul(argv[1], &end, 0);
  if (end == argv[1] || *end != '\0' || window == 0) {
    std::fprintf(stderr, "not a window id: %s\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fputs("cannot open the display\n", stderr);
    return 1;
  }
  if (destroy) {
    XDestroyWindow(display, window);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return sent != 0 ? 0 : 1;
}
