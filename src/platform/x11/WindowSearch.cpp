#include "platform/x11/WindowSearch.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace mivotra::window_probe {
namespace {

template <class T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// WM_CLASS holds "instance\0class\0".
bool HasClass(xcb_connection_t* connection, xcb_window_t window, const std::string& wanted) {
  xcb_get_property_cookie_t cookie =
      xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
  XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, nullptr),
                                           &std::free);
  if (!reply || reply->format != 8) return false;
  const int length = xcb_get_property_value_length(reply.get());
  const char* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
  const void* separator = std::memchr(value, '\0', length);
  if (!separator) return false;
  const char* classPart = static_cast<const char*>(separator) + 1;
  std::size_t classLength = value + length - classPart;
  if (classLength > 0 && classPart[classLength - 1] == '\0') --classLength;
  return std::string(classPart, classLength) == wanted;
}

bool HasWmClass(xcb_connection_t* connection, xcb_window_t window) {
  xcb_get_property_cookie_t cookie =
      xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 0);
  XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, nullptr),
                                           &std::free);
  return reply && reply->type != XCB_ATOM_NONE;
}

// Top-level windows are the root's children; under a reparenting window
// manager the application's window sits one or two levels below its frame.
bool Search(xcb_connection_t* connection, xcb_window_t parent, const std::string& wanted,
            int depth) {
  XcbReply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr), &std::free);
  if (!tree) return false;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  const int count = xcb_query_tree_children_length(tree.get());
  for (int i = 0; i < count; ++i) {
    if (HasWmClass(connection, children[i])) {
      if (HasClass(connection, children[i], wanted)) return true;
    } else if (depth > 0 && Search(connection, children[i], wanted, depth - 1)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<bool> SearchDisplay(const char* display, const std::string& windowClass) {
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> guard(connection, &xcb_disconnect);
  if (!connection || xcb_connection_has_error(connection)) return std::nullopt;
  bool found = false;
  for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
       it.rem && !found; xcb_screen_next(&it)) {
    found = Search(connection, it.data->root, windowClass, 2);
  }
  // A server that went away halfway through has not said there is none.
  if (!found && xcb_connection_has_error(connection)) return std::nullopt;
  return found;
}

}  // namespace mivotra::window_probe
