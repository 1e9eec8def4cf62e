#include "kx_store_location.h"

#include <memory>

#include "stanza_file.h"

namespace kx {

std::string configured_store_path(const std::string& vd_conf) {
  vd_status_t status = 0;
  std::unique_ptr<StanzaFile> file = stzFileOpen(vd_conf, STZ_MODE_READ, status);
  if (!file || status != 0) return std::string(DEFAULT_STORE_PATH);
  std::string path(DEFAULT_STORE_PATH);
  if (stzMoveEntry(*file, "kxadmin", "store") != 0 && file->value && !file->value->empty()) path = *file->value;
  (void)stzFileClose(std::move(file));
  return path;
}

}  // namespace kx
