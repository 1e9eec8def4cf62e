#include "zarnctl_status.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <span>
#include <sstream>

#include "brv_component.h"
#include "zarncfg_config.h"
#include "zarncfg_config_autostart.h"
#include "zarncfg_host_lock.h"
#include "zarncfg_host_path.h"
#include "zarncfg_run_record.h"
#include "zarncfg_sniff.h"
#include "zarncfg_svc.h"
#include "zarnctl_file_view.h"

namespace {

constexpr std::string_view kBegun = " has begun.\n";
constexpr std::string_view kRunEnd = "=============================\n";
constexpr std::string_view kSucceeded = "The configuration process completed successfully.";
constexpr std::string_view kFailedCode = "ZRNCF0021E";

std::optional<std::string> value_of(const ConfigEntry& entry) {
  if (!entry.has(CFG_CURRENT) || !entry.value) return std::nullopt;
  return entry.value;
}

std::string host_name() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return "";
  return name.data();
}

void read_links(HostStatus& status) {
  for (const auto& rows : {std::span<const std::string_view>(linux_file_links_K),
                           std::span<const std::string_view>(linux_file_links_S)}) {
    for (std::string_view row : rows) {
      const std::string link(row.substr(row.find(' ') + 1));
      std::error_code ec;
      const auto target = std::filesystem::read_symlink(zarncfg_host_path(link), ec);
      if (!ec) status.autostart_links.push_back({link, target.string()});
    }
  }
}

void read_run_record(HostStatus& status) {
  RunRecord record;
  if (zarncfg_read_run_record(record) != RecordOnDisk::read) return;
  for (const UnfinishedWork& work : record.unfinished) status.unfinished_work += work.empty() ? 0 : 1;
  if (!record.has_run()) return;
  status.unfinished_run = UnfinishedRun{record.tag.host, record.tag.pid, record.tag.started, false};
  status.unfinished_run->live = status.lock_holder && *status.lock_holder == record.tag.pid;
}

nlohmann::json optional_json(const std::optional<std::string>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

}  // namespace

LastRun parse_last_run(std::string_view log) {
  LastRun last;
  const std::size_t begun = log.rfind(kBegun);
  if (begun == std::string_view::npos) return last;
  const std::string run(log.substr(begun + kBegun.size()));
  static const std::regex error_line(R"((ZRNCF\d{4}E)[^\n]*)");
  for (std::sregex_iterator it(run.begin(), run.end(), error_line), end; it != end; ++it) {
    if ((*it)[1].str() == kFailedCode) continue;
    last.cause_code = (*it)[1];
    last.cause = it->str();
    break;
  }
  const bool ended = run.find(kRunEnd) != std::string::npos;
  if (!ended) {
    last.outcome = "unfinished";
  } else if (run.find(kFailedCode) != std::string::npos) {
    last.outcome = "failed";
    last.closing_code = std::string(kFailedCode);
  } else if (run.find(kSucceeded) != std::string::npos) {
    last.outcome = "succeeded";
  } else {
    last.outcome = "informational";
  }
  return last;
}

nlohmann::json status_json(const HostStatus& status) {
  nlohmann::json links = nlohmann::json::array();
  for (const LinkStatus& link : status.autostart_links) links.push_back({{"link", link.link}, {"target", link.target}});
  nlohmann::json unfinished = nullptr;
  if (status.unfinished_run) {
    const UnfinishedRun& run = *status.unfinished_run;
    unfinished = {{"host", run.host}, {"pid", run.pid}, {"started", run.started}, {"live", run.live}};
  }
  return {
      {"configured", status.configured},
      {"branch", optional_json(status.branch)},
      {"suffix", optional_json(status.suffix)},
      {"registered_name", optional_json(status.registered_name)},
      {"autostart_links", links},
      {"zarnd", {{"running", status.zarnd_pid.has_value()},
                 {"pid", status.zarnd_pid ? nlohmann::json(*status.zarnd_pid) : nlohmann::json(nullptr)}}},
      {"log_router", {{"configured", status.log_router_configured}}},
      {"last_run",
       {{"outcome", status.last_run.outcome},
        {"closing_code", optional_json(status.last_run.closing_code)},
        {"cause_code", optional_json(status.last_run.cause_code)},
        {"cause", optional_json(status.last_run.cause)}}},
      {"unfinished_run", unfinished},
      {"unfinished_work", status.unfinished_work},
      {"run_in_progress", status.lock_holder ? nlohmann::json(*status.lock_holder) : nlohmann::json(nullptr)},
  };
}

std::string status_text(const HostStatus& status) {
  std::ostringstream out;
  out << "configured: " << (status.configured ? "yes" : "no") << "\n";
  out << "branch: " << status.branch.value_or("-") << "\n";
  out << "suffix: " << status.suffix.value_or("-") << "\n";
  out << "registered name: " << status.registered_name.value_or("-") << "\n";
  out << "autostart links: " << status.autostart_links.size() << "\n";
  for (const LinkStatus& link : status.autostart_links) out << "  " << link.link << " -> " << link.target << "\n";
  out << "zarnd: " << (status.zarnd_pid ? "running, process " + std::to_string(*status.zarnd_pid) : "not running")
      << "\n";
  out << "log router: " << (status.log_router_configured ? "configured" : "not configured") << "\n";
  out << "last run: " << status.last_run.outcome;
  if (status.last_run.closing_code) out << " (" << *status.last_run.closing_code << ")";
  out << "\n";
  if (status.last_run.cause) out << "cause: " << *status.last_run.cause << "\n";
  if (status.lock_holder) out << "run in progress: process " << *status.lock_holder << "\n";
  if (status.unfinished_run) {
    out << "unfinished run: process " << status.unfinished_run->pid << " on " << status.unfinished_run->host << ", "
        << (status.unfinished_run->live ? "still running" : "ended before it completed") << "\n";
  }
  if (status.unfinished_work != 0) out << "unfinished work of killed runs: " << status.unfinished_work << "\n";
  return out.str();
}

bool zarnctl_read_status(HostStatus& status) {
  ConfigRecord record{};
  vd_msgid_t read_status = 0;
  zarncfg_read_cfg_files(config_option_def, CONFIG_RECORD_SIZE, record, config_stanza_option_map, "zarncfg",
                         read_status);
  if (read_status != 0) return false;
  status.configured = is_already_configured(record);
  status.branch = value_of(record[IDX_BRANCH]);
  status.suffix = value_of(record[IDX_SUFFIX]);
  // The daemon's key database is what its registration leaves on the host.
  if (status.configured && access(zarncfg_host_path(root_brevik_660[0]).c_str(), F_OK) == 0) {
    status.registered_name = "zarnd/" + host_name();
  }
  read_links(status);
  int pid = 0;
  vd_status_t ping = 0;
  brv_daemon_ping(1, pid, ping);
  if (ping == 0) status.zarnd_pid = pid;
  status.log_router_configured = is_lrd_configured(record);
  status.last_run = parse_last_run(regular_file_text(zarncfg_host_path(ZARNCFG_LOG_FILE)));
  long holder = 0;
  if (zarncfg_host_lock_held(holder)) status.lock_holder = holder;
  read_run_record(status);
  return true;
}

int zarnctl_status(bool as_json) {
  HostStatus status;
  if (!zarnctl_read_status(status)) return 1;
  const std::string text = as_json ? status_json(status).dump(2) + "\n" : status_text(status);
  std::fputs(text.c_str(), stdout);
  return 0;
}
