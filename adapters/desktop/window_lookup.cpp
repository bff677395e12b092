#include "adapters/desktop/window_lookup.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <memory>

namespace riventar::desktop {
namespace {

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
struct XFreer {
  void operator()(void* p) const {
    if (p) XFree(p);
  }
};

std::string Utf8Name(Display* display, Window window, Atom netWmName, Atom utf8String) {
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* raw = nullptr;
  if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8String, &type, &format, &items, &after,
                         &raw) == Success) {
    std::unique_ptr<unsigned char, XFreer> data(raw);
    if (type == utf8String && format == 8 && data) return std::string(reinterpret_cast<char*>(data.get()), items);
  }
  return {};
}

std::string LegacyName(Display* display, Window window) {
  XTextProperty property{};
  if (!XGetWMName(display, window, &property) || !property.value) return {};
  std::unique_ptr<unsigned char, XFreer> value(property.value);
  char** list = nullptr;
  int count = 0;
  std::string name;
  if (Xutf8TextPropertyToTextList(display, &property, &list, &count) >= Success && list && count > 0) {
    name = list[0];
    XFreeStringList(list);
  }
  return name;
}

// Top-level windows are the root's children; under a window manager the
// client sits one or two levels down inside its frame.
bool Search(Display* display, Window window, int depth, const std::string& title, Atom netWmName, Atom utf8String) {
  if (depth > 0) {
    std::string name = Utf8Name(display, window, netWmName, utf8String);
    if (name.empty()) name = LegacyName(display, window);
    if (name == title) return true;
  }
  if (depth >= 3) return false;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return false;
  std::unique_ptr<Window, XFreer> owned(children);
  for (unsigned int i = 0; i < count; ++i)
    if (Search(display, children[i], depth + 1, title, netWmName, utf8String)) return true;
  return false;
}

}  // namespace

bool TopLevelWindowWithTitleExists(const std::string& titleUtf8) {
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) return false;
  const Atom netWmName = XInternAtom(display.get(), "_NET_WM_NAME", False);
  const Atom utf8String = XInternAtom(display.get(), "UTF8_STRING", False);
  return Search(display.get(), DefaultRootWindow(display.get()), 0, titleUtf8, netWmName, utf8String);
}

}  // namespace riventar::desktop
