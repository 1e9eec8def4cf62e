// Runs of this host that ended without finishing, killed or cut off while
// they applied policy: the policy server still holds their undo records,
// and the next run with the security master password takes them back
// before it applies anything of its own.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <string>

#include "sys_fd.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

std::optional<std::string> read_proc(const std::string& path) {
  const sys::UniqueFd fd = sys::open_fd(path, O_RDONLY | O_NOFOLLOW);
  std::string text;
  if (!fd.valid() || !sys::read_all(fd.get(), text)) return std::nullopt;
  return text;
}

// Seconds since the epoch at which the process started, when /proc tells.
std::optional<std::int64_t> process_start(std::int64_t pid) {
  const auto stat = read_proc("/proc/" + std::to_string(pid) + "/stat");
  const auto system = read_proc("/proc/stat");
  if (!stat || !system) return std::nullopt;
  // Field 22, counted after the command name, which may hold blanks.
  const std::size_t close = stat->rfind(')');
  const std::size_t boot = system->find("\nbtime ");
  if (close == std::string::npos || boot == std::string::npos) return std::nullopt;
  unsigned long long ticks = 0;
  if (std::sscanf(stat->c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                  &ticks) != 1) {
    return std::nullopt;
  }
  const long hertz = sysconf(_SC_CLK_TCK);
  const long long booted = std::atoll(system->c_str() + boot + 7);
  if (hertz <= 0 || booted <= 0) return std::nullopt;
  return booted + static_cast<std::int64_t>(ticks / static_cast<unsigned long long>(hertz));
}

// The boot time and the clock tick round the start down by up to a second
// each; a process that started later than that is not the run.
constexpr std::int64_t kStartSlack = 2;

using Runs = std::vector<kxadmin_run_info>;

bool list_runs(const kxadmin_context* admin, const std::string& host, Runs& runs) {
  kxadmin_response_t response;
  int result = kxadmin_run_list(admin, host, runs, response);
  if (result != 1) {
    zarncfg_process_response(response.get());
    if (kxadmin_response_getreason(response.get()) == 1) result = 1;
    kxadmin_free(response);
  }
  return result == 1;
}

bool is_recorded(const kxadmin_run_tag& tag, std::span<const kxadmin_run_tag> recorded) {
  return std::find(recorded.begin(), recorded.end(), tag) != recorded.end();
}

// The runs to take back: those the host's run record names, wherever they
// were kept, and those of this host whose process is gone.  A failed
// listing counts as an empty one.
Runs killed_runs(const kxadmin_context* admin, std::span<const kxadmin_run_tag> recorded) {
  const std::string host = zarncfg_kxadmin_host_name();
  std::set<std::string> hosts = {host};
  for (const auto& tag : recorded) hosts.insert(tag.host);
  Runs killed;
  for (const std::string& name : hosts) {
    Runs runs;
    if (!list_runs(admin, name, runs)) continue;
    for (const auto& run : runs) {
      if (run.tag == zarncfg_kxadmin_run_tag()) continue;
      const bool gone = run.tag.host == host && !zarncfg_kxadmin_run_is_alive(run.tag);
      if (gone || is_recorded(run.tag, recorded)) killed.push_back(run);
    }
  }
  return killed;
}

unsigned long records_of(const kxadmin_context* admin, const kxadmin_run_tag& tag, unsigned long otherwise) {
  Runs runs;
  if (!list_runs(admin, tag.host, runs)) return otherwise;
  const auto found = std::find_if(runs.begin(), runs.end(), [&](const auto& run) { return run.tag == tag; });
  return found == runs.end() ? 0 : found->undo_records;
}

// Announces the run, takes it back with one dot per command; false when
// commands are left.
bool roll_back_killed_run(const kxadmin_context* admin, const kxadmin_run_info& run) {
  const long pid = static_cast<long>(run.tag.process_id);
  print_and_log_warning(msg_id(1422), pid, static_cast<long>(run.undo_records));
  kxadmin_response_t response;
  trace(msg_id(306), "run_rollback");
  const int result = kxadmin_run_rollback(admin, run.tag, response);
  trace(msg_id(307), "run_rollback", static_cast<long>(result));
  unsigned long left = 0;
  if (result != 1) {
    zarncfg_process_response(response.get());
    kxadmin_free(response);
    left = std::min(records_of(admin, run.tag, run.undo_records), run.undo_records);
  }
  for (unsigned long location = run.undo_records; location > left; --location) {
    trace(msg_id(364), static_cast<long>(location - 1));
    vd_printf(msg_id(3));
  }
  vd_printf(msg_id(13));
  return left == 0;
}

}  // namespace

bool zarncfg_kxadmin_run_is_alive(const kxadmin_run_tag& tag) {
  if (tag.process_id <= 0) return false;
  if (kill(static_cast<pid_t>(tag.process_id), 0) != 0 && errno == ESRCH) return false;
  const auto started = process_start(tag.process_id);
  return !started || *started <= tag.start_time + kStartSlack;
}

bool zarncfg_kxadmin_finish_killed_runs(const ConfigRecord& record, std::span<const kxadmin_run_tag> recorded,
                                        vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_kxadmin_finish_killed_runs");
  const std::string password = record[IDX_SEC_MASTER_PWD].text();
  if (zarncfg_is_empty(password) == 1) return true;
  // A context of its own, without this run's tag: taking runs back writes
  // no records, and this run's own context is made by its own steps.
  kxadmin_context_t admin;
  kxadmin_response_t response;
  const int result = kxadmin_context_createdefault("sec_master", password, admin, response);
  trace(msg_id(359), "kxadmin_context_createdefault", static_cast<long>(result));
  if (result != 1) {
    zarncfg_process_response(response.get());
    kxadmin_free(response);
    return true;
  }
  for (const auto& run : killed_runs(admin.get(), recorded)) {
    if (roll_back_killed_run(admin.get(), run)) continue;
    status = msg_id(1423);
    print_and_log_error(msg_id(1423), static_cast<long>(run.tag.process_id));
    return false;
  }
  return true;
}
