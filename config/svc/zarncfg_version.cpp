// The version display, served through a small component of its own.
#include "zarncfg_version.h"

#include <cstdio>

#include "zarncfg_svc.h"

namespace {

constexpr vd_msgid_t kVersionBase = 0x35ACA000;
constexpr vd_msgid_t kProductName = kVersionBase + 1;
constexpr vd_msgid_t kShortName = kVersionBase + 2;
constexpr vd_msgid_t kReleaseLine = kVersionBase + 3;
constexpr vd_msgid_t kNameAndVersion = kVersionBase + 4;
constexpr vd_msgid_t kCopyright = kVersionBase + 128;

constexpr vd_svc_subcomponent vdovc_svc_table[] = {
    {"version", "Version messages", 0x35ACAF80, 0},
    {"copyright", "Copyright messages", 0x35ACAF81, 0},
    {nullptr, nullptr, 0, 0},
};

constexpr vd_msg_entry vdovc_svc_msg_table[] = {
    {kProductName, "Zarn"},
    {kShortName, "ZARN"},
    {kReleaseLine, "Zarn %s\n"},
    {kNameAndVersion, "%s %s"},
    {kCopyright,
     "Zarn host security, configuration program.\n"
     "Copyright (C) 2003, 2026 the Zarn developers. All rights reserved.\n"
     "Use, copying and distribution are governed by your licence agreement\n"
     "for the Zarn product.\n"},
};

vd_svc_handle_t vdovc_svc_handle = nullptr;
bool ovc_registered = false;

}  // namespace

void ovc_svc_initialize() {
  if (ovc_registered) return;
  vd_status_t status = 0;
  vdovc_svc_handle = vd_svc_register(vdovc_svc_table, "ovc", status);
  vd_msg_define_msg_table(vdovc_svc_msg_table, std::size(vdovc_svc_msg_table), status);
  ovc_registered = true;
}

void brv_display_version_only2(std::string_view program_name) {
  ovc_svc_initialize();
  vd_printf(kNameAndVersion, program_name, ZARN_FULL_VERSION);
}

void brv_display_version(std::string_view program_name) {
  ovc_svc_initialize();
  vd_printf(kReleaseLine, ZARN_RELEASE);
  brv_display_version_only(program_name);
}

void brv_display_version_only(std::string_view program_name) {
  ovc_svc_initialize();
  const Msg m(kNameAndVersion);
  vd_svc_printf_withfile(vdovc_svc_handle, m.where.file_name(), static_cast<int>(m.where.line()), "%s%s", 0,
                         VD_ATTR_NOTICE | VD_ATTR_FREE_TEXT, kNameAndVersion, program_name, ZARN_FULL_VERSION);
}

void brv_display_copyright() {
  ovc_svc_initialize();
  vd_printf(kCopyright);
}

void brv_display_version_and_copyright(std::string_view program_name) {
  brv_display_version(program_name);
  brv_display_copyright();
}
