#include "tolvane/platform/gtk_message_box.h"

#include <dlfcn.h>
#include <errno.h>  // program_invocation_short_name

#include <cstdlib>
#include <mutex>
#include <thread>

namespace tolvane {
namespace {

// The few GTK, GDK and GLib entry points the dialog needs, resolved from libgtk-3.so.0 and the
// libraries it depends on. Objects are opaque here; only pointers to them are passed around.
struct GtkApi {
  using Object = void;
  struct List {  // GList's public layout
    void* data;
    List* next;
    List* prev;
  };

  Object* (*g_main_context_default)();
  int (*g_main_context_acquire)(Object* context);
  void (*g_main_context_release)(Object* context);
  int (*g_main_context_is_owner)(Object* context);
  const char* (*g_get_prgname)();
  void (*g_set_prgname)(const char* name);
  const char* (*g_get_application_name)();
  char* (*g_utf8_make_valid)(const char* text, long length);
  void (*g_free)(void* memory);
  void (*g_list_free)(List* list);
  Object* (*gdk_display_get_default)();
  void (*gdk_display_flush)(Object* display);
  void (*gtk_disable_setlocale)();
  int (*gtk_init_check)(int* argc, char*** argv);
  Object* (*gtk_message_dialog_new)(Object* parent, int flags, int type, int buttons,
                                    const char* format, ...);
  void (*gtk_window_set_title)(Object* window, const char* title);
  void (*gtk_window_set_position)(Object* window, int position);
  void (*gtk_window_set_transient_for)(Object* window, Object* parent);
  List* (*gtk_window_list_toplevels)();
  int (*gtk_window_is_active)(Object* window);
  void (*gtk_dialog_set_default_response)(Object* dialog, int response);
  int (*gtk_dialog_run)(Object* dialog);
  void (*gtk_widget_destroy)(Object* widget);
};

// GTK's enumeration values used here (stable across GTK 3).
constexpr int kDialogModal = 1 << 0;
constexpr int kDialogDestroyWithParent = 1 << 1;
constexpr int kMessageOther = 4;  // no icon
constexpr int kButtonsOk = 1;
constexpr int kResponseOk = -5;
constexpr int kWinPosCenter = 1;
constexpr int kWinPosCenterOnParent = 4;

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  void* symbol = dlsym(library, name);
  function = reinterpret_cast<Function>(symbol);
  return symbol != nullptr;
}

bool ResolveAll(void* gtk, GtkApi& api) {
#define TOLVANE_RESOLVE(name) Resolve(gtk, #name, api.name)
  return TOLVANE_RESOLVE(g_main_context_default) && TOLVANE_RESOLVE(g_main_context_acquire) &&
         TOLVANE_RESOLVE(g_main_context_release) && TOLVANE_RESOLVE(g_main_context_is_owner) &&
         TOLVANE_RESOLVE(g_get_prgname) && TOLVANE_RESOLVE(g_set_prgname) &&
         TOLVANE_RESOLVE(g_get_application_name) && TOLVANE_RESOLVE(g_utf8_make_valid) &&
         TOLVANE_RESOLVE(g_free) && TOLVANE_RESOLVE(g_list_free) &&
         TOLVANE_RESOLVE(gdk_display_get_default) && TOLVANE_RESOLVE(gdk_display_flush) &&
         TOLVANE_RESOLVE(gtk_disable_setlocale) && TOLVANE_RESOLVE(gtk_init_check) &&
         TOLVANE_RESOLVE(gtk_message_dialog_new) && TOLVANE_RESOLVE(gtk_window_set_title) &&
         TOLVANE_RESOLVE(gtk_window_set_position) &&
         TOLVANE_RESOLVE(gtk_window_set_transient_for) &&
         TOLVANE_RESOLVE(gtk_window_list_toplevels) && TOLVANE_RESOLVE(gtk_window_is_active) &&
         TOLVANE_RESOLVE(gtk_dialog_set_default_response) && TOLVANE_RESOLVE(gtk_dialog_run) &&
         TOLVANE_RESOLVE(gtk_widget_destroy);
#undef TOLVANE_RESOLVE
}

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && value[0] != '\0';
}

bool IsLoaded(const char* soname) {
  void* handle = dlopen(soname, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

// GTK as this component may use it. Brought up once, on the first call from a desktop session,
// and kept for the life of the process: GTK can be neither unloaded nor shut down.
class Desktop {
 public:
  static Desktop& Instance() {
    static Desktop desktop;
    return desktop;
  }

  // Returns the API when the calling thread may show a dialog now, after bringing GTK up if
  // this is the first call.
  const GtkApi* ApiForThisThread() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ == State::kUntried) state_ = BringUp();
    if (state_ != State::kReady) return nullptr;
    if (initialised_by_us_) {
      return std::this_thread::get_id() == gtk_thread_ ? &api_ : nullptr;
    }
    // The host owns GTK: only its GTK thread may use it, and the one thread we can recognise as
    // that is the one running the default main loop right now.
    return api_.g_main_context_is_owner(api_.g_main_context_default()) ? &api_ : nullptr;
  }

 private:
  enum class State { kUntried, kReady, kUnavailable };

  State BringUp() {
    // Loading GTK 3 into a process that holds GTK 2 or GTK 4 makes it abort.
    if (IsLoaded("libgtk-4.so.1") || IsLoaded("libgtk-x11-2.0.so.0")) return State::kUnavailable;
    // Never closed: GTK registers types and exit handlers that must stay mapped.
    void* gtk = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (gtk == nullptr || !ResolveAll(gtk, api_)) return State::kUnavailable;

    if (api_.gdk_display_get_default() != nullptr) {
      initialised_by_us_ = false;  // the host set GTK up itself
      return State::kReady;
    }
    // Leave the host's locale alone; gtk_init would otherwise call setlocale(LC_ALL, "").
    api_.gtk_disable_setlocale();
    // What gtk_init does with argv[0]: the name the desktop shows for the program.
    if (api_.g_get_prgname() == nullptr) api_.g_set_prgname(program_invocation_short_name);
    if (!api_.gtk_init_check(nullptr, nullptr)) return State::kUnavailable;
    initialised_by_us_ = true;
    gtk_thread_ = std::this_thread::get_id();
    return State::kReady;
  }

  std::mutex mutex_;
  State state_ = State::kUntried;
  GtkApi api_{};
  bool initialised_by_us_ = false;
  std::thread::id gtk_thread_;
};

// The visible window that has the focus, if the program has one, so that the dialog stays on
// top of it and centred over it.
void* ActiveWindow(const GtkApi& gtk) {
  GtkApi::List* windows = gtk.gtk_window_list_toplevels();
  void* active = nullptr;
  for (GtkApi::List* item = windows; item != nullptr; item = item->next) {
    if (gtk.gtk_window_is_active(item->data)) {
      active = item->data;
      break;
    }
  }
  gtk.g_list_free(windows);
  return active;
}

// Returns false when the dialog could not be built.
bool RunDialog(const GtkApi& gtk, std::string_view message) {
  // GTK takes UTF-8 only; a message carrying other bytes (a file name, say) is shown with
  // replacement characters rather than dropped.
  char* text = gtk.g_utf8_make_valid(message.data(), static_cast<long>(message.size()));
  if (text == nullptr) return false;
  void* parent = ActiveWindow(gtk);
  // "%s" keeps the message plain text: no format directives, no markup.
  void* dialog = gtk.gtk_message_dialog_new(
      parent, kDialogModal | (parent != nullptr ? kDialogDestroyWithParent : 0), kMessageOther,
      kButtonsOk, "%s", text);
  gtk.g_free(text);
  if (dialog == nullptr) return false;

  const char* title = gtk.g_get_application_name();
  gtk.gtk_window_set_title(dialog, title != nullptr ? title : program_invocation_short_name);
  gtk.gtk_window_set_position(dialog, parent != nullptr ? kWinPosCenterOnParent : kWinPosCenter);
  gtk.gtk_dialog_set_default_response(dialog, kResponseOk);  // Enter presses OK
  gtk.gtk_dialog_run(dialog);  // Escape and the close button end it too
  gtk.gtk_widget_destroy(dialog);
  // Take the window off the screen now rather than at the program's next event loop turn.
  gtk.gdk_display_flush(gtk.gdk_display_get_default());
  return true;
}

}  // namespace

bool ShowGtkMessageBox(std::string_view message) noexcept {
  if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) return false;
  try {
    const GtkApi* gtk = Desktop::Instance().ApiForThisThread();
    if (gtk == nullptr) return false;
    void* context = gtk->g_main_context_default();
    // Running the dialog's loop on a context that another thread is iterating would wait for
    // that thread; take the context first, or give up at once. The owner may take it again.
    if (!gtk->g_main_context_acquire(context)) return false;
    const bool shown = RunDialog(*gtk, message);
    gtk->g_main_context_release(context);
    return shown;
  } catch (...) {
    return false;  // the mutex (std::system_error); nothing shown
  }
}

}  // namespace tolvane
