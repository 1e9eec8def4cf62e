#include "zarncfg_run_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <sstream>

#include "sys_fd.h"
#include "sys_file.h"
#include "zarncfg_svc.h"

namespace {

constexpr std::string_view kHeader = "zarncfg-run-record 1";

const char* lrd_word(LrdChange change) { return change == LrdChange::register_daemon ? "register" : "unregister"; }

std::optional<LrdChange> lrd_from_word(std::string_view word) {
  if (word == "register") return LrdChange::register_daemon;
  if (word == "unregister") return LrdChange::unregister_daemon;
  return std::nullopt;
}

std::string tag_text(const RunTag& tag) {
  return tag.host + " " + std::to_string(tag.pid) + " " + std::to_string(tag.started);
}

// The lines that describe one run's password work, each after `prefix`.
void format_work(std::ostringstream& out, const std::string& prefix, bool registration, LrdChange lrd,
                 const std::vector<std::string>& policy_files, bool settled) {
  if (registration) out << prefix << "registration zarnd\n";
  if (lrd != LrdChange::none) out << prefix << "lrd " << lrd_word(lrd) << "\n";
  for (const std::string& file : policy_files) out << prefix << "policy " << file << "\n";
  if (settled) out << prefix << "settled\n";
}

std::vector<std::string> words_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::optional<RunTag> tag_from(const std::vector<std::string>& words, std::size_t at) {
  if (words.size() < at + 3) return std::nullopt;
  RunTag tag{words[at], 0, 0};
  try {
    tag.pid = std::stol(words[at + 1]);
    tag.started = std::stoll(words[at + 2]);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return tag;
}

// Applies one work line ("registration zarnd", "lrd ...", "policy ...",
// "settled") starting at words[at]; false when it is none.
bool read_work(const std::vector<std::string>& words, std::size_t at, bool& registration, LrdChange& lrd,
               std::vector<std::string>& policy_files, bool& settled) {
  if (words.size() == at + 1 && words[at] == "settled") {
    settled = true;
    return true;
  }
  if (words.size() != at + 2) return false;
  const std::string& what = words[at];
  if (what == "registration" && words[at + 1] == "zarnd") {
    registration = true;
  } else if (what == "lrd" && lrd_from_word(words[at + 1])) {
    lrd = *lrd_from_word(words[at + 1]);
  } else if (what == "policy") {
    policy_files.push_back(words[at + 1]);
  } else {
    return false;
  }
  return true;
}

UnfinishedWork& unfinished_of(RunRecord& record, const RunTag& tag) {
  for (UnfinishedWork& work : record.unfinished) {
    if (work.tag == tag) return work;
  }
  record.unfinished.push_back(UnfinishedWork{tag, false, LrdChange::none, {}, false});
  return record.unfinished.back();
}

bool read_line(RunRecord& record, const std::vector<std::string>& words) {
  const std::string& key = words[0];
  if (key == "run") {
    const std::optional<RunTag> tag = tag_from(words, 1);
    if (!tag || words.size() != 4) return false;
    record.tag = *tag;
    return true;
  }
  if (key == "configured-before" && words.size() == 2) {
    if (words[1] != "unknown") record.configured_before = words[1] == "yes";
    return words[1] == "unknown" || words[1] == "yes" || words[1] == "no";
  }
  if ((key == "backed-up" || key == "absent") && words.size() == 2) {
    (key == "absent" ? record.absent : record.backed_up).push_back(words[1]);
    return true;
  }
  if (key == "unfinished") {
    const std::optional<RunTag> tag = tag_from(words, 1);
    if (!tag) return false;
    UnfinishedWork& work = unfinished_of(record, *tag);
    return read_work(words, 4, work.registration, work.lrd, work.policy_files, work.settled);
  }
  return read_work(words, 0, record.registration, record.lrd, record.policy_files, record.settled);
}

struct CurrentRecord {
  RunRecord record;
  std::string path;
};

std::optional<CurrentRecord>& current() {
  static std::optional<CurrentRecord> record;
  return record;
}

}  // namespace

std::string format_run_record(const RunRecord& record) {
  std::ostringstream out;
  out << kHeader << "\n";
  if (record.has_run()) {
    out << "run " << tag_text(record.tag) << "\n";
    out << "configured-before "
        << (record.configured_before ? (*record.configured_before ? "yes" : "no") : "unknown") << "\n";
    for (const std::string& path : record.backed_up) out << "backed-up " << path << "\n";
    for (const std::string& path : record.absent) out << "absent " << path << "\n";
    format_work(out, "", record.registration, record.lrd, record.policy_files, record.settled);
  }
  for (const UnfinishedWork& work : record.unfinished) {
    format_work(out, "unfinished " + tag_text(work.tag) + " ", work.registration, work.lrd, work.policy_files,
                work.settled);
  }
  return out.str();
}

std::optional<RunRecord> parse_run_record(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::string line;
  if (!std::getline(in, line) || line != kHeader) return std::nullopt;
  RunRecord record;
  while (std::getline(in, line)) {
    const std::vector<std::string> words = words_of(line);
    if (words.empty()) continue;
    if (!read_line(record, words)) return std::nullopt;
  }
  return record;
}

RunTag zarncfg_this_run_tag() {
  static const RunTag tag = [] {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') std::strcpy(host, "localhost");
    return RunTag{host, static_cast<long>(getpid()), static_cast<long long>(std::time(nullptr))};
  }();
  return tag;
}

RecordOnDisk zarncfg_read_run_record(RunRecord& record, const std::string& path) {
  const sys::UniqueFd fd = sys::open_fd(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (!fd.valid()) return errno == ENOENT ? RecordOnDisk::none : RecordOnDisk::unreadable;
  std::string text;
  if (!sys::read_all(fd.get(), text)) return RecordOnDisk::unreadable;
  std::optional<RunRecord> parsed = parse_run_record(text);
  if (!parsed) return RecordOnDisk::unreadable;
  record = std::move(*parsed);
  return RecordOnDisk::read;
}

bool zarncfg_write_run_record(const RunRecord& record, vd_msgid_t& status, const std::string& path) {
  std::string why;
  const bool empty = !record.has_run() && record.unfinished.empty();
  const bool written = empty ? sys::remove_file(path, why) : sys::write_file(path, format_run_record(record), 0600, why);
  if (written) return true;
  status = msg_id(1401);
  print_and_log_error(msg_id(1401), path, why);
  return false;
}

bool zarncfg_begin_run_record(RunRecord record, vd_msgid_t& status, const std::string& path) {
  current() = CurrentRecord{std::move(record), path};
  return zarncfg_save_run_record(status);
}

RunRecord* zarncfg_current_run_record() { return current() ? &current()->record : nullptr; }

bool zarncfg_save_run_record(vd_msgid_t& status) {
  return !current() || zarncfg_write_run_record(current()->record, status, current()->path);
}

bool zarncfg_note_registration(vd_msgid_t& status) {
  if (current()) current()->record.registration = true;
  return zarncfg_save_run_record(status);
}

bool zarncfg_note_lrd_change(LrdChange change, vd_msgid_t& status) {
  if (current()) current()->record.lrd = change;
  return zarncfg_save_run_record(status);
}

bool zarncfg_note_policy_file(const std::string& path, vd_msgid_t& status) {
  if (current()) current()->record.policy_files.push_back(path);
  return zarncfg_save_run_record(status);
}

bool zarncfg_note_settled(bool settled, vd_msgid_t& status) {
  if (current()) current()->record.settled = settled;
  return zarncfg_save_run_record(status);
}

void zarncfg_end_run_record() {
  if (!current()) return;
  RunRecord left;
  left.unfinished = current()->record.unfinished;
  vd_msgid_t ignored = 0;
  // Were this run's own entries left behind, the next run would take this
  // run for a killed one and put the ".bak" copies back over its work.
  // Losing the earlier runs' unfinished work is the smaller harm.
  if (!zarncfg_write_run_record(left, ignored, current()->path)) {
    std::string why;
    if (!sys::remove_file(current()->path, why)) log_error(msg_id(1401), current()->path, why);
  }
  current().reset();
}
