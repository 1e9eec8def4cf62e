#include "zarnctl_prerequisites.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "sys_fd.h"
#include "zarncfg_config_autostart.h"
#include "zarncfg_host_path.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_run_record.h"
#include "zarncfg_runtime.h"
#include "zarncfg_svc.h"

namespace {

bool exists(const std::string& path) { return access(zarncfg_host_path(path).c_str(), F_OK) == 0; }

// What a killed run left, the next run puts right before its own steps.
int check_killed_run() {
  RunRecord record;
  if (zarncfg_read_run_record(record) == RecordOnDisk::none) return 0;
  long pid = record.tag.pid;
  for (const UnfinishedWork& work : record.unfinished) {
    if (!work.empty() && pid == 0) pid = work.tag.pid;
  }
  if (pid == 0) return 0;
  vd_printf(msg_id(1444), static_cast<int>(pid));
  return 1;
}

int check_runtime() {
  vd_msgid_t status = 0;
  zarncfg_is_vdrte_configured(status);
  if (status == 0) return 0;
  vd_printf(status);
  return 1;
}

// Each missing run-level folder and init script once.
int check_links(const ConfigRecord& record) {
  std::set<std::string> reported;
  int problems = 0;
  for (std::string_view row : zarnctl_links_to_create(record)) {
    const auto blank = row.find(' ');
    const std::string target(row.substr(0, blank));
    const std::string link(row.substr(blank + 1));
    const std::string folder = std::filesystem::path(link).parent_path().string();
    if (!exists(folder) && reported.insert(folder).second) {
      vd_printf(msg_id(1440), folder, link);
      ++problems;
    }
    if (!exists(target) && reported.insert(target).second) {
      vd_printf(msg_id(1311), target);
      ++problems;
    }
  }
  return problems;
}

int check_certificate(const PlanInputs& inputs) {
  if (inputs.certificate.empty()) return 0;
  const std::string path = inputs.certificate.front() == '/' ? inputs.certificate
                                                            : inputs.start_directory + "/" + inputs.certificate;
  // O_NONBLOCK: a FIFO at the path must not hang the plan.
  const sys::UniqueFd file = sys::open_fd(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  struct stat info {};
  std::string why;
  if (!file.valid()) {
    why = std::strerror(errno);
  } else if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    why = "not a regular file";
  } else {
    return 0;
  }
  vd_printf(msg_id(1441), inputs.certificate, why);
  return 1;
}

// The store, looked at read-only: reachable, the password accepted, this
// host's name not yet registered.  Only a first configuration logs in.
int check_store(const ConfigRecord& record) {
  if (is_already_configured(record) || !record[IDX_SEC_MASTER_PWD].value) return 0;
  kxadmin_response_t response;
  const int result = kxadmin_context_createreadonly("sec_master", record[IDX_SEC_MASTER_PWD].text(), ctx, response);
  if (result != 1) {
    const bool bad_password = zarncfg_process_response(response.get()) == KXADMIN_CODE_BAD_PASSWORD;
    kxadmin_free(response);
    vd_printf(msg_id(1352));
    if (bad_password) vd_printf(msg_id(1377));
    return 1;
  }
  vd_msgid_t status = 0;
  const std::optional<std::string> taken = zarncfg_kxadmin_registered_name(status);
  ctx.reset();
  if (status != 0) return 1;
  if (!taken) return 0;
  vd_printf(msg_id(1420), *taken);
  return 1;
}

// The backups are copies beside the files.
int check_backup_space() {
  const std::string folder = zarncfg_host_path("/opt/zarn/etc");
  unsigned long long needed = 0;
  for (const char* file : ZARNCFG_CONF_FILES) {
    struct stat info {};
    if (::stat(zarncfg_host_path(file).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      needed += static_cast<unsigned long long>(info.st_size);
    }
  }
  struct statvfs space {};
  if (::statvfs(folder.c_str(), &space) != 0) return 0;
  const unsigned long long free_bytes = static_cast<unsigned long long>(space.f_bavail) * space.f_frsize;
  if (free_bytes >= needed) return 0;
  vd_printf(msg_id(1442), "/opt/zarn/etc", static_cast<long>(free_bytes), static_cast<long>(needed));
  return 1;
}

}  // namespace

std::vector<std::string_view> zarnctl_links_to_create(const ConfigRecord& record) {
  const ConfigEntry& autostart = record[IDX_AUTOSTART];
  const bool given = autostart.has(CFG_SET);
  std::vector<std::string_view> rows;
  switch (zarncfg_autostart_plan(is_already_configured(record), given, given && autostart.value == "on")) {
    case AutostartPlan::leave_alone:
    case AutostartPlan::remove_start_links:
      break;
    case AutostartPlan::create_start_links:
      rows.assign(linux_file_links_S.begin(), linux_file_links_S.end());
      break;
    case AutostartPlan::create_stop_links:
      rows.assign(linux_file_links_K.begin(), linux_file_links_K.end());
      break;
    case AutostartPlan::create_stop_then_start_links:
      rows.assign(linux_file_links_K.begin(), linux_file_links_K.end());
      rows.insert(rows.end(), linux_file_links_S.begin(), linux_file_links_S.end());
      break;
  }
  return rows;
}

int zarnctl_check_prerequisites(const ConfigRecord& record, const PlanInputs& inputs) {
  return check_killed_run() + check_runtime() + check_links(record) + check_certificate(inputs) +
         check_store(record) + check_backup_space();
}
