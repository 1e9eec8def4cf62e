// Start-up of logging, and the version display.
#pragma once

#include <string_view>

#include "zarncfg_msg.h"

void zarncfg_svc_initialize(std::string_view program_path, vd_status_t& status);
void zarncfg_initialize_logmsg_routing(vd_status_t& status);

void ovc_svc_initialize();
void brv_display_version_only2(std::string_view program_name);
void brv_display_version(std::string_view program_name);
void brv_display_version_only(std::string_view program_name);
void brv_display_copyright();
void brv_display_version_and_copyright(std::string_view program_name);

inline constexpr const char* ZARN_RELEASE = "4.1.0";
inline constexpr const char* ZARN_FULL_VERSION = "4.1.0.1 (030512b)";
inline constexpr const char* ZARN_PRODUCT_VERSION = "4.1";
