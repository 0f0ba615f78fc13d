// Looks at the windows of another program, as the tests need to.
//   glintor-window-probe read-box    prints the buttons, the number of icons
//                                    and the exact text (UTF-8) of the
//                                    message box titled "Error"
//   glintor-window-probe close-main  posts WM_CLOSE to the main window
// Exits 1 if there is no such window, 2 on a usage error.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

struct BoxContents {
  std::vector<std::string> buttons;
  std::vector<std::string> texts;
  int icons = 0;
};

// Asked of the control itself, since its text belongs to another process;
// a hung box cannot hang the reader. As UTF-8, whatever the code page.
std::string TextOf(HWND control) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  if (SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 5000, &length) == 0 ||
      length == 0) {
    return {};
  }
  char utf8[4096] = {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8,
                                       sizeof utf8, nullptr, nullptr);
  return std::string(utf8, static_cast<std::size_t>(size > 0 ? size : 0));
}

BOOL CALLBACK Collect(HWND control, LPARAM contents) {
  auto* box = reinterpret_cast<BoxContents*>(contents);
  char className[64] = {};
  GetClassNameA(control, className, sizeof className);
  const std::string kind = className;
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
  if (kind == "Button") {
    box->buttons.push_back(TextOf(control));
  } else if (kind == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
    ++box->icons;
  } else if (kind == "Static") {
    const std::string text = TextOf(control);
    if (!text.empty()) box->texts.push_back(text);
  }
  return TRUE;
}

int ReadBox() {
  HWND box = FindWindowA("#32770", "Error");
  if (box == nullptr) {
    std::fputs("no message box titled Error\n", stderr);
    return 1;
  }
  BoxContents contents;
  EnumChildWindows(box, Collect, reinterpret_cast<LPARAM>(&contents));
  // The text is printed byte for byte: no line-break translation.
  _setmode(_fileno(stdout), _O_BINARY);
  std::printf("buttons:");
  for (const std::string& button : contents.buttons) std::printf(" %s", button.c_str());
  std::printf("\nicons: %d\n", contents.icons);
  for (const std::string& text : contents.texts) std::printf("%s\n", text.c_str());
  return 0;
}

int CloseMain() {
  HWND window = FindWindowA("Glintor", nullptr);
  if (window == nullptr) {
    std::fputs("no window of the class Glintor\n", stderr);
    return 1;
  }
  return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 2 ? argv[1] : "";
  if (command == "read-box") return ReadBox();
  if (command == "close-main") return CloseMain();
  std::fputs("usage: glintor-window-probe read-box|close-main\n", stderr);
  return 2;
}
