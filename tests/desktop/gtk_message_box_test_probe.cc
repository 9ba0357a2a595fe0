// The program that gtk_message_box_test.sh drives. It links only tolvane::tolvane, as a program
// that knows nothing of GTK would, and reports on standard output what it did and what dialogs
// it saw, one fact per line. Without an argument, and with "desktop":
//   calling 1 / returned 1 <output hex>   around sEncrypt on an unkeyed instance
// and with "desktop" also:
//   calling 2 / returned 2                around a report whose text looks like markup
//   thread returned <output hex>          after sEncrypt from a second thread
// and then:
//   gtk-loaded yes|no                     whether GTK was loaded into the process at the end
// In "host" mode it initialises GTK itself, as a GTK program does:
//   outside returned <output hex>         sEncrypt outside the GTK main loop
//   calling 1 / returned 1 <output hex>   sEncrypt from a callback inside that loop
// In both desktop modes, for every dialog that appears (read from GTK's widget tree inside this
// process):
//   dialog / title=... / modal=0|1 / label=... / button=... / images=N / end
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "tolvane/cipher/blowfish.h"
#include "tolvane/errors/report.h"

namespace {

// Text that GTK would turn into bold and italics if it read the message as markup, and a byte
// that is not UTF-8.
constexpr char kMarkupLike[] = "<b>not bold</b> & <i>not italic</i> \xFF";

void Say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Hex(const tolvane::ByteArray& bytes) {
  std::string hex;
  char digits[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    hex += digits;
  }
  return hex;
}

std::string EncryptUnkeyed() {
  tolvane::Blowfish bf;
  tolvane::ByteArray in(8);
  tolvane::ByteArray out(8);
  for (std::uint8_t& b : out) b = 0x5A;
  bf.sEncrypt(in, out);
  return Hex(out);
}

// GTK and GLib entry points, taken from the GTK the library loaded into this process.
struct Gtk {
  struct List {
    void* data;
    List* next;
    List* prev;
  };
  List* (*list_toplevels)();
  void (*list_free)(List*);
  int (*is_visible)(void*);
  const char* (*get_title)(void*);
  int (*get_modal)(void*);
  void (*forall)(void*, void (*)(void*, void*), void*);
  int (*is_a)(void*, unsigned long);
  unsigned long (*label_type)();
  unsigned long (*button_type)();
  unsigned long (*image_type)();
  unsigned long (*container_type)();
  const char* (*label_text)(void*);
  const char* (*button_label)(void*);
  void* (*get_data)(void*, const char*);
  void (*set_data)(void*, const char*, void*);
};

template <typename F>
bool Load(void* library, const char* name, F& f) {
  void* symbol = dlsym(library, name);
  f = reinterpret_cast<F>(symbol);
  return symbol != nullptr;
}

bool LoadGtk(Gtk& gtk) {
  void* library = dlopen("libgtk-3.so.0", RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return false;
  return Load(library, "gtk_window_list_toplevels", gtk.list_toplevels) &&
         Load(library, "g_list_free", gtk.list_free) &&
         Load(library, "gtk_widget_is_visible", gtk.is_visible) &&
         Load(library, "gtk_window_get_title", gtk.get_title) &&
         Load(library, "gtk_window_get_modal", gtk.get_modal) &&
         Load(library, "gtk_container_forall", gtk.forall) &&
         Load(library, "g_type_check_instance_is_a", gtk.is_a) &&
         Load(library, "gtk_label_get_type", gtk.label_type) &&
         Load(library, "gtk_button_get_type", gtk.button_type) &&
         Load(library, "gtk_image_get_type", gtk.image_type) &&
         Load(library, "gtk_container_get_type", gtk.container_type) &&
         Load(library, "gtk_label_get_text", gtk.label_text) &&
         Load(library, "gtk_button_get_label", gtk.button_label) &&
         Load(library, "g_object_get_data", gtk.get_data) &&
         Load(library, "g_object_set_data", gtk.set_data);
}

struct Walk {
  const Gtk* gtk;
  int images = 0;
};

// Reports the visible labels, buttons and images below `widget`, internal children included.
void Visit(void* widget, void* data) {
  Walk& walk = *static_cast<Walk*>(data);
  const Gtk& gtk = *walk.gtk;
  if (!gtk.is_visible(widget)) return;
  if (gtk.is_a(widget, gtk.button_type())) {
    const char* label = gtk.button_label(widget);
    Say(std::string("button=") + (label != nullptr ? label : ""));
    return;  // a button's own label is its caption, reported above
  }
  if (gtk.is_a(widget, gtk.label_type())) Say(std::string("label=") + gtk.label_text(widget));
  if (gtk.is_a(widget, gtk.image_type())) ++walk.images;
  if (gtk.is_a(widget, gtk.container_type())) gtk.forall(widget, Visit, data);
}

// Runs inside the dialog's main loop: describes each dialog once, when it is on screen.
int InspectDialogs(void*) {
  static char described;  // marks the windows already described
  Gtk gtk;
  if (!LoadGtk(gtk)) return 1;
  Gtk::List* windows = gtk.list_toplevels();
  for (Gtk::List* item = windows; item != nullptr; item = item->next) {
    void* window = item->data;
    if (!gtk.is_visible(window) || gtk.get_data(window, "probe-described") != nullptr) continue;
    gtk.set_data(window, "probe-described", &described);
    const char* title = gtk.get_title(window);
    Say("dialog");
    Say(std::string("title=") + (title != nullptr ? title : ""));
    Say("modal=" + std::to_string(gtk.get_modal(window)));
    Walk walk{&gtk};
    gtk.forall(window, Visit, &walk);
    Say("images=" + std::to_string(walk.images));
    Say("end");
  }
  gtk.list_free(windows);
  return 1;  // keep watching
}

// Adds a GLib timeout on the default main context, which the dialog's loop runs.
bool WatchForDialogs() {
  void* glib = dlopen("libglib-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  unsigned (*timeout_add)(unsigned, int (*)(void*), void*);
  if (glib == nullptr || !Load(glib, "g_timeout_add", timeout_add)) return false;
  timeout_add(100, InspectDialogs, nullptr);
  return true;
}

// Plays a GTK program: initialises GTK itself, reports once outside its main loop and once from
// a callback inside it.
int RunAsGtkHost() {
  void* library = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
  int (*init_check)(int*, char***);
  void (*main_loop)();
  void (*main_quit)();
  unsigned (*idle_add)(int (*)(void*), void*);
  if (library == nullptr || !Load(library, "gtk_init_check", init_check) ||
      !Load(library, "gtk_main", main_loop) || !Load(library, "gtk_main_quit", main_quit) ||
      !Load(library, "g_idle_add", idle_add) || !init_check(nullptr, nullptr)) {
    Say("no GTK");
    return 2;
  }
  Say("outside returned " + EncryptUnkeyed());
  static void (*quit)() = main_quit;
  idle_add(
      [](void*) {
        Say("calling 1");
        Say("returned 1 " + EncryptUnkeyed());
        quit();
        return 0;
      },
      nullptr);
  main_loop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "" && !WatchForDialogs()) {
    Say("no GLib");
    return 2;
  }
  if (mode == "host") return RunAsGtkHost();
  Say("calling 1");
  Say("returned 1 " + EncryptUnkeyed());
  if (mode == "desktop") {
    Say("calling 2");
    tolvane::ReportError("Probe", tolvane::Error(1, kMarkupLike));
    Say("returned 2");
    // GTK belongs to the main thread now; another thread must not wait or touch it.
    std::string hex;
    std::thread other([&hex] { hex = EncryptUnkeyed(); });
    other.join();
    Say("thread returned " + hex);
  }
  void* gtk = dlopen("libgtk-3.so.0", RTLD_LAZY | RTLD_NOLOAD);
  Say(std::string("gtk-loaded ") + (gtk != nullptr ? "yes" : "no"));
  return 0;
}
