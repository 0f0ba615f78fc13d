// Asks an X window to close as a window manager's close button does, with a
// WM_DELETE_WINDOW client message. Usage: glintor-close-window WINDOW_ID

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const unsigned long window = argc == 2 ? std::strtoul(argv[1], nullptr, 0) : 0;
  Display* display = XOpenDisplay(nullptr);
  if (window == 0 || display == nullptr) {
    std::fputs("usage: glintor-close-window WINDOW_ID, with a display\n", stderr);
    return 2;
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
