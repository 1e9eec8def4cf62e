// What a run needs of its host, looked at before a plan: every problem is
// printed, so that one plan shows them all.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zarncfg_record.h"

// The certificate as given, before validation replaced it by its copy's
// path; relative to the folder the plan started in.
struct PlanInputs {
  std::string certificate;
  std::string start_directory;
};

// The number of problems found, each printed.
int zarnctl_check_prerequisites(const ConfigRecord& record, const PlanInputs& inputs);

// The links a run would create, as "target link" rows.
std::vector<std::string_view> zarnctl_links_to_create(const ConfigRecord& record);
