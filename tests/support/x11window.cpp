// mivotra-test-x11window: maps one plain top-level X11 window with the
// WM_CLASS and title asked for, prints its id once the server has mapped it,
// and keeps it until the process is killed. The desktop tests use it to stand
// in for the main application (class "Mivotra") and for a window that only
// carries that name in its title; with --dock-bottom, for a desktop's panel:
// a dock along the bottom edge that reserves its height (_NET_WM_STRUT).
//
// Usage: mivotra-test-x11window --class CLASS [--title TITLE] [--geometry X,Y,W,H]
//                               [--dock-bottom HEIGHT]

#include <xcb/xcb.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr,
               "Usage: mivotra-test-x11window --class CLASS [--title TITLE] [--geometry X,Y,W,H]\n"
               "                              [--dock-bottom HEIGHT]\n");
  return 2;
}

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

void SetText(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
             xcb_atom_t type, const std::string& value) {
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, 8,
                      static_cast<std::uint32_t>(value.size()), value.data());
}

}  // namespace

int main(int argc, char** argv) {
  std::string windowClass;
  std::string title;
  int x = 1000, y = 640, width = 240, height = 120;
  int dock = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    if (arg == "--class") {
      windowClass = argv[++i];
    } else if (arg == "--title") {
      title = argv[++i];
    } else if (arg == "--geometry") {
      if (std::sscanf(argv[++i], "%d,%d,%d,%d", &x, &y, &width, &height) != 4 || width <= 0 ||
          height <= 0) {
        return Usage();
      }
    } else if (arg == "--dock-bottom") {
      dock = std::atoi(argv[++i]);
      if (dock <= 0) return Usage();
    } else {
      return Usage();
    }
  }
  if (windowClass.empty()) return Usage();

  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection)) {
    std::fprintf(stderr, "mivotra-test-x11window: cannot open the display\n");
    xcb_disconnect(connection);
    return 1;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  const xcb_screen_t* screen = screens.data;
  if (dock > 0) {
    x = 0;
    y = screen->height_in_pixels - dock;
    width = screen->width_in_pixels;
    height = dock;
  }

  const xcb_window_t window = xcb_generate_id(connection);
  const std::uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK;
  const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root,
                    static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                    static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, mask, values);

  // WM_CLASS is "instance\0class\0"; the instance part is the class in lower case.
  std::string instance = windowClass;
  for (char& c : instance) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string wmClass = instance;
  wmClass.push_back('\0');
  wmClass += windowClass;
  wmClass.push_back('\0');
  SetText(connection, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, wmClass);
  if (!title.empty()) {
    SetText(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title);
    SetText(connection, window, InternAtom(connection, "_NET_WM_NAME"),
            InternAtom(connection, "UTF8_STRING"), title);
  }
  // Placed where asked: a window manager leaves a user-given position alone.
  const std::uint32_t sizeHints[18] = {1 | 2 | 4 | 8,  // USPosition, USSize, PPosition, PSize
                                       static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                       static_cast<std::uint32_t>(width),
                                       static_cast<std::uint32_t>(height)};
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                      XCB_ATOM_WM_SIZE_HINTS, 32, 18, sizeHints);
  if (dock > 0) {
    const xcb_atom_t dockType = InternAtom(connection, "_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window,
                        InternAtom(connection, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                        &dockType);
    // left, right, top, bottom; the partial form adds where along each edge.
    const std::uint32_t strut[12] = {0, 0, 0, static_cast<std::uint32_t>(dock),     0, 0, 0, 0,
                                     0, 0, 0, static_cast<std::uint32_t>(width - 1)};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window,
                        InternAtom(connection, "_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4, strut);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window,
                        InternAtom(connection, "_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12,
                        strut);
  }
  xcb_map_window(connection, window);
  xcb_flush(connection);

  // Tell the caller only once the server has mapped the window, so that what
  // it checks next already sees it.
  bool announced = false;
  while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
    const bool mapped = (event->response_type & ~0x80) == XCB_MAP_NOTIFY;
    std::free(event);
    if (mapped && !announced) {
      std::printf("0x%08x\n", window);
      std::fflush(stdout);
      announced = true;
    }
  }
  // The server went away.
  xcb_disconnect(connection);
  return 0;
}
