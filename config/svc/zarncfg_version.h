// The version display, served through a small component of its own.
#pragma once

#include <string_view>

inline constexpr const char* ZARN_RELEASE = "4.1.0";
inline constexpr const char* ZARN_FULL_VERSION = "4.1.0.1 (030512b)";
inline constexpr const char* ZARN_PRODUCT_VERSION = "4.1";

// Registers the version component on first use; later calls do nothing.
void ovc_svc_initialize();
// The program name and the full version, without a newline.
void brv_display_version_only2(std::string_view program_name);
// "Zarn <release>", then the version line in the log.
void brv_display_version(std::string_view program_name);
// The program name and the full version, in the log only.
void brv_display_version_only(std::string_view program_name);
void brv_display_copyright();
void brv_display_version_and_copyright(std::string_view program_name);
