#include "zarnctl_plan.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "sys_fd.h"
#include "zarncfg_config.h"
#include "zarncfg_host_lock.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_parse_cl.h"
#include "zarncfg_parse_rspfile.h"
#include "zarncfg_prompt.h"
#include "zarncfg_sniff.h"
#include "zarncfg_svc.h"
#include "zarncfg_validate.h"
#include "zarnctl_diff.h"
#include "zarnctl_plan_runner.h"
#include "zarnctl_prerequisites.h"

namespace {

// Standard output kept aside while the steps run: their progress lines are
// no part of a plan, but what a failed step said is.  A memory file, so
// that nothing is written anywhere.
class OutputCapture {
 public:
  OutputCapture() {
    std::fflush(stdout);
    saved_ = sys::UniqueFd(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
    kept_ = sys::UniqueFd(::memfd_create("zarnctl-plan", MFD_CLOEXEC));
    if (saved_.valid() && kept_.valid()) (void)::dup2(kept_.get(), STDOUT_FILENO);
  }
  ~OutputCapture() { (void)finish(); }
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;

  // Puts standard output back; what was written meanwhile.
  std::string finish() {
    std::string text;
    if (!saved_.valid()) return text;
    std::fflush(stdout);
    (void)::dup2(saved_.get(), STDOUT_FILENO);
    saved_.reset();
    if (!kept_.valid()) return text;
    char buffer[4096];
    ssize_t got = 0;
    off_t at = 0;
    while ((got = ::pread(kept_.get(), buffer, sizeof buffer, at)) > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
      at += got;
    }
    return text;
  }

 private:
  sys::UniqueFd saved_;
  sys::UniqueFd kept_;
};

std::string current_directory() {
  std::error_code ec;
  const auto path = std::filesystem::current_path(ec);
  return ec ? "" : path.string();
}

// The input passes and the validation, as a run makes them; false when
// they found a problem, which they have printed.
bool read_input(std::vector<std::string>& args, ConfigRecord& record, PlanInputs& inputs) {
  vd_msgid_t status = 0;
  zarncfg_read_cfg_files(config_option_def, CONFIG_RECORD_SIZE, record, config_stanza_option_map, "zarncfg",
                         status);
  if (status != 0) return false;
  zarncfg_config_parse_rspfile(args, config_option_def, record, config_stanza_option_map, IDX_RSPFILE,
                               inputs.start_directory, status);
  if (status != 0) return false;
  zarncfg_parse_the_command_line(args, record, config_option_def, IDX_DELETE, ZARND_DELETE_ITEMS,
                                 zarncfg_required_options, status);
  if (status != 0) return false;
  if (record[IDX_LDAP_SSL_CACERT].has(CFG_SET)) inputs.certificate = record[IDX_LDAP_SSL_CACERT].text();
  zarncfg_validate(record, inputs.start_directory, config_option_def, zarncfg_required_options,
                   zarndconf_min_max_requirements, "zarncfg", status);
  return status == 0;
}

struct Outcome {
  bool succeeded = false;
  bool registers = false;
  std::string said;  // what the steps printed
};

Outcome run_steps(ConfigRecord& record) {
  Outcome outcome;
  OutputCapture capture;
  const bool first = !is_already_configured(record);
  int registered = 0;
  vd_msgid_t status = 0;
  zarncfg_config(record, registered, status);
  if (status == 0 && first) zarncfg_switch_off_event_console(record);
  outcome.succeeded = status == 0;
  outcome.registers = registered == 1;
  outcome.said = capture.finish();
  return outcome;
}

// ---- The report ----

void print_section(const char* title) { std::printf("\n%s:\n", title); }

bool print_files(const std::vector<PathChange>& changes) {
  bool any = false;
  for (const PathChange& change : changes) {
    if (change.before.kind == PathState::Kind::link || change.after.kind == PathState::Kind::link) continue;
    if (!any) print_section("Files");
    any = true;
    if (change.moved_from) {
      std::printf("rename %s to %s\n", change.moved_from->c_str(), change.path.c_str());
    } else if (change.after.kind == PathState::Kind::absent) {
      std::printf("remove %s\n", change.path.c_str());
    } else {
      const bool created = change.before.kind == PathState::Kind::absent;
      const std::string diff =
          unified_diff(change.before.text, change.after.text, created ? "/dev/null" : change.path, change.path);
      std::fputs(diff.empty() ? ("create " + change.path + "\n").c_str() : diff.c_str(), stdout);
    }
  }
  return any;
}

bool print_links(const std::vector<PathChange>& changes) {
  bool any = false;
  for (const PathChange& change : changes) {
    const bool was_link = change.before.kind == PathState::Kind::link;
    const bool is_link = change.after.kind == PathState::Kind::link;
    if (!was_link && !is_link) continue;
    if (!any) print_section("Links");
    any = true;
    if (is_link) {
      std::printf("create %s -> %s\n", change.path.c_str(), change.after.target.c_str());
    } else {
      std::printf("remove %s\n", change.path.c_str());
    }
  }
  return any;
}

bool print_commands(const std::vector<std::string>& commands) {
  if (commands.empty()) return false;
  print_section("Commands");
  for (const std::string& command : commands) std::printf("%s\n", command.c_str());
  return true;
}

bool print_registration(bool registers) {
  if (!registers) return false;
  print_section("Registration");
  std::printf("register %s with the Varden Policy Server\n", ("zarnd/" + zarncfg_kxadmin_run_tag().host).c_str());
  return true;
}

bool print_policy(const PolicyPreview& policy) {
  if (policy.files.empty()) return false;
  print_section("Policy");
  bool any = false;
  for (const PolicyFileCount& file : policy.files) {
    std::printf("load %s: %zu commands\n", file.path.c_str(), file.commands);
    any = any || file.commands > 0;
  }
  return any;
}

// The log router's steps run before the configuration and are not part of
// a plan; a plan says so rather than leave them out unnoticed.
bool print_not_shown(const ConfigRecord& record) {
  const bool asked = record[IDX_LRD_CONFIG].has(CFG_SET) || record[IDX_LRD_LOGS].has(CFG_SET) ||
                     record[IDX_LRD_LOG_ENTRIES].has(CFG_SET);
  if (!asked) return false;
  print_section("Not shown");
  std::printf("the steps of the log router daemon (-lrd_config, -lrd_logs, -lrd_log_entries)\n");
  return true;
}

int report(const ConfigRecord& record, const FileView& view, const PlanRunner& runner, const Outcome& outcome,
           const PolicyPreview& policy) {
  const std::vector<PathChange> changes = view.changes();
  bool changed = print_files(changes);
  changed = print_links(changes) || changed;
  changed = print_commands(runner.commands()) || changed;
  changed = print_registration(outcome.registers) || changed;
  changed = print_policy(policy) || changed;
  changed = print_not_shown(record) || changed;
  if (!changed) std::printf("Nothing would change.\n");
  return changed ? PLAN_CHANGES : PLAN_NO_CHANGE;
}

}  // namespace

int zarnctl_plan(std::vector<std::string> args) {
  vd_msgid_t status = 0;
  if (!zarncfg_share_host_lock(status)) return PLAN_PROBLEMS;
  PlanInputs inputs;
  inputs.start_directory = current_directory();
  // As in a run: a relative response file is looked for here first.
  (void)::chdir(ZARNCFG_WORK_DIR);
  FileView view;
  const FileWritesScope file_scope(view);
  PlanRunner runner(view);
  const RunnerScope runner_scope(runner);
  PolicyPreview policy;
  zarncfg_kxadmin_preview(&policy);
  zarncfg_refuse_prompts(true);

  ConfigRecord record{};
  const bool input_read = read_input(args, record, inputs);
  const int problems = zarnctl_check_prerequisites(record, inputs) + (input_read ? 0 : 1);
  if (problems != 0) return PLAN_PROBLEMS;
  const Outcome outcome = run_steps(record);
  if (!outcome.succeeded) {
    std::fputs(outcome.said.c_str(), stdout);
    return PLAN_PROBLEMS;
  }
  return report(record, view, runner, outcome, policy);
}
