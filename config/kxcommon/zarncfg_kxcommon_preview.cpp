// Whether the policy steps run for real or for a preview.
#include "zarncfg_kxcommon.h"

namespace {

PolicyPreview* installed = nullptr;

}  // namespace

void zarncfg_kxadmin_preview(PolicyPreview* preview) { installed = preview; }

PolicyPreview* zarncfg_kxadmin_current_preview() { return installed; }
