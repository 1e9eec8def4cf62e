#include "zarncfg_runtime.h"

#include <unistd.h>

#include <string>

#include "stanza_file.h"
#include "zarncfg_msg.h"

namespace {

constexpr const char* kVdrteMarker = "/opt/Varden/.configure/VDRTE-VD";
constexpr const char* kVdConf = "/opt/Varden/etc/vd.conf";

}  // namespace

void zarncfg_is_vdrte_configured(vd_msgid_t& status) {
  status = 0;
  if (access(kVdrteMarker, F_OK) == 0) return;
  if (access(kVdConf, F_OK) == 0) {
    vd_status_t open_status = 0;
    auto file = stzFileOpen(kVdConf, STZ_MODE_READ, open_status);
    if (file && stzMoveEntry(*file, "vdrte", "configured") != 0) {
      const std::string first_three = file->value.value_or("").substr(0, 3);
      stzFileClose(std::move(file));
      if (first_three == "yes") return;
    }
  }
  status = msg_id(1362);
}
