// State shared by the serviceability library's translation units.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vd_log_file.h"
#include "vd_svc.h"

struct vd_svc_component {
  std::string name;
  std::vector<vd_svc_subcomponent> subcomponents;
};

namespace vd_detail {

struct Library {
  std::vector<std::unique_ptr<vd_svc_component>> components;
  std::map<vd_msgid_t, std::string> messages;
  std::map<std::string, std::string, std::less<>> routes;  // severity -> log file path
  std::map<std::string, std::unique_ptr<LogFile>, std::less<>> logs;  // path -> the open file
};

// Appends `value` in decimal, with leading zeros up to `width` digits.
void append_decimal(std::string& out, long long value, std::size_t width = 0);

// Appends `format` with its inserts to `out` (what vd_format returns), so
// that a log record is built in one string.
void format_to(std::string& out, std::string_view format, std::span<const vd_insert> inserts);

// The open log file at `path`, opened at its first record.
LogFile& log_file(const std::string& path);

Library& library();

}  // namespace vd_detail
