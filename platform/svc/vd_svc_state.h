// State shared by the serviceability library's translation units.
#pragma once

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
  std::map<std::string, std::string> routes;  // severity -> log file path
  std::map<std::string, std::unique_ptr<LogFile>> logs;  // path -> the open file
};

// The open log file at `path`, opened at its first record.
LogFile& log_file(const std::string& path);

Library& library();

}  // namespace vd_detail
