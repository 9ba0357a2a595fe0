#include "tolvane/platform/gtk_message_box.h"
#include "tolvane/platform/message_box.h"

namespace tolvane {

bool ShowPlatformMessageBox(std::string_view message) noexcept {
  return ShowGtkMessageBox(message);
}

}  // namespace tolvane
