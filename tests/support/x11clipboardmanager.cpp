// mivotra-test-clipboard-manager: the least of an X11 clipboard manager, for
// the desktop test. It owns the CLIPBOARD_MANAGER selection; when a program
// that owns the clipboard asks it to SAVE_TARGETS (Qt does so as it exits),
// it fetches the clipboard's text, takes the clipboard over and from then on
// hands that text to whoever asks. Prints "ready" once it is the manager and
// "saved N" for every N bytes it took over.
//
// Usage: mivotra-test-clipboard-manager

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  Reply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(
          connection,
          xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
          nullptr),
      &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

void Notify(xcb_connection_t* connection, const xcb_selection_request_event_t& request,
            xcb_atom_t property) {
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = request.time;
  notify.requestor = request.requestor;
  notify.selection = request.selection;
  notify.target = request.target;
  notify.property = property;
  xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&notify));
  xcb_flush(connection);
}

}  // namespace

int main() {
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection)) {
    std::fprintf(stderr, "mivotra-test-clipboard-manager: cannot open the display\n");
    return 1;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  const xcb_window_t window = xcb_generate_id(connection);
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);

  const xcb_atom_t manager = Atom(connection, "CLIPBOARD_MANAGER");
  const xcb_atom_t clipboard = Atom(connection, "CLIPBOARD");
  const xcb_atom_t saveTargets = Atom(connection, "SAVE_TARGETS");
  const xcb_atom_t targets = Atom(connection, "TARGETS");
  const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
  const xcb_atom_t text = Atom(connection, "TEXT");
  const xcb_atom_t nullAtom = Atom(connection, "NULL");
  const xcb_atom_t kept = Atom(connection, "MIVOTRA_KEPT_CLIPBOARD");

  xcb_set_selection_owner(connection, window, manager, XCB_CURRENT_TIME);
  Reply<xcb_get_selection_owner_reply_t> owner(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, manager),
                                    nullptr),
      &std::free);
  if (!owner || owner->owner != window) {
    std::fprintf(stderr, "mivotra-test-clipboard-manager: another manager runs\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);

  std::string saved;
  bool haveSaved = false;
  std::vector<xcb_selection_request_event_t> saving;  // SAVE_TARGETS waiting for the text

  while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
    const std::uint8_t type = event->response_type & ~0x80;
    if (type == XCB_SELECTION_REQUEST) {
      const auto request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
      if (request.selection == manager && request.target == saveTargets) {
        saving.push_back(request);
        xcb_convert_selection(connection, window, clipboard, utf8, kept, XCB_CURRENT_TIME);
        xcb_flush(connection);
      } else if (request.selection == clipboard && haveSaved) {
        const xcb_atom_t property =
            request.property != XCB_ATOM_NONE ? request.property : request.target;
        if (request.target == targets) {
          const xcb_atom_t offered[] = {targets, utf8, XCB_ATOM_STRING, text};
          xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property,
                              XCB_ATOM_ATOM, 32, 4, offered);
          Notify(connection, request, property);
        } else if (request.target == utf8 || request.target == XCB_ATOM_STRING ||
                   request.target == text) {
          xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property,
                              request.target == text ? utf8 : request.target, 8,
                              static_cast<std::uint32_t>(saved.size()), saved.data());
          Notify(connection, request, property);
        } else {
          Notify(connection, request, XCB_ATOM_NONE);
        }
      } else {
        Notify(connection, request, XCB_ATOM_NONE);
      }
    } else if (type == XCB_SELECTION_NOTIFY) {
      const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
      if (notify->selection == clipboard && notify->property != XCB_ATOM_NONE) {
        Reply<xcb_get_property_reply_t> value(
            xcb_get_property_reply(connection,
                                   xcb_get_property(connection, 1, window, kept,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 24),
                                   nullptr),
            &std::free);
        if (value && value->format == 8) {
          saved.assign(static_cast<const char*>(xcb_get_property_value(value.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(value.get())));
          haveSaved = true;
          xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
          std::printf("saved %zu\n", saved.size());
          std::fflush(stdout);
        }
      }
      // Done, as far as this manager can: the program may go.
      for (const auto& request : saving) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                            nullAtom, 32, 0, nullptr);
        Notify(connection, request, request.property);
      }
      saving.clear();
    }
    std::free(event);
  }
  xcb_disconnect(connection);
  return 0;
}
