// Reading one policy command file and applying its commands in order.
#include "zarncfg_kxcommon.h"

#include <stdio.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "sys_signals.h"
#include "zarncfg_interrupt.h"
#include "zarncfg_process.h"
#include "zarncfg_run_record.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

// Reads a file a line at a time into one buffer that grows to its longest
// line: a policy of any size is read in constant memory.
class LineReader {
 public:
  explicit LineReader(std::FILE* file) : file_(file) {}
  ~LineReader() { std::free(buffer_); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line without its newline, however long; false at the end.
  bool next(std::string& line) {
    const ssize_t length = ::getline(&buffer_, &capacity_, file_);
    if (length <= 0) {
      line.clear();
      return false;
    }
    const bool ended = buffer_[length - 1] == '\n';
    line.assign(buffer_, static_cast<std::size_t>(length) - (ended ? 1 : 0));
    return true;
  }

 private:
  std::FILE* file_;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
};

struct Announcement {
  const char* path;
  unsigned message;
};

constexpr std::array<Announcement, 5> kAnnouncements = {{
    {BREVIK_ONCE_ONLY, 339},
    {BREVIK_ONCE_ONLY_U3800, 400},
    {BREVIK_ONCE_ONLY_U4100, 404},
    {BREVIK_PER_POLICY, 340},
    {BREVIK_PER_MACHINE, 398},
}};

void announce(const std::string& path) {
  for (const auto& a : kAnnouncements) {
    if (path == a.path) print_and_trace(msg_id(a.message));
  }
}

void report_invalid_line(const std::string& line, const std::string& path, vd_msgid_t& status) {
  status = msg_id(1354);
  print_and_log_error(msg_id(1354), line, path);
}

// Prepares, parses and applies one line; false when the file must stop.
// Errors quote the line as written, before placeholders put passwords in.
// The look-up of this machine's daemon user reports nothing itself; without
// this the run would end with no word of what failed.
void report_missing_machine_user() {
  vd_printf(msg_id(13));
  print_and_log_error(msg_id(1387));
  vd_printf(msg_id(13));
}

bool apply_line(const std::string& raw, const std::string& path, const ConfigRecord& record,
                std::string_view program, vd_msgid_t& status) {
  // Longer lines are outside the format; cutting them into pieces would
  // apply half commands.
  if (raw.size() > KXADMIN_MAX_LINE) {
    report_invalid_line(raw, path, status);
    return false;
  }
  const std::string cleaned = zarncfg_kxadmin_clean_line(raw);
  if (cleaned.empty()) return true;
  std::string line = cleaned;
  if (zarncfg_quotes_to_word(line) == 0) {
    report_invalid_line(cleaned, path, status);
    return false;
  }
  zarncfg_kxadmin_replace_string(line, record, program, status);
  if (status == msg_id(1387)) report_missing_machine_user();
  if (status != 0) return false;
  AdminCommand cmd;
  if (zarncfg_parse_kxadmin(cmd, line, path) != 0) {
    report_invalid_line(cleaned, path, status);
    return false;
  }
  if (zarncfg_execute_kxadmin_command(cmd) != 0) {
    status = msg_id(1353);
    vd_printf(msg_id(13));
    print_and_log_error(msg_id(1353), cmd.command);
    return false;
  }
  // One dot per applied command, as many as a roll-back will show.
  vd_printf(msg_id(3));
  std::fflush(stdout);
  return true;
}

}  // namespace

void zarncfg_process_kxadmin_file(const std::string& path, const ConfigRecord& record, std::string_view program,
                                  vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_process_kxadmin_file");
  if (is_already_configured(record)) {
    trace(msg_id(323));
    return;
  }
  announce(path);
  const FileHandle file = zarncfg_open_file(path, "r", status);
  if (!file) return;
  if (PolicyPreview* preview = zarncfg_kxadmin_current_preview()) preview->files.push_back({path, 0});
  // A run killed from here on leaves commands of this file in the store.
  if (!zarncfg_note_policy_file(path, status)) return;
  LineReader lines(file.get());
  std::string raw;
  while (lines.next(raw)) {
    if (sys::first_termination_signal() != 0) {
      vd_printf(msg_id(13));  // ends the line of dots
      (void)zarncfg_interrupted(status);  // reports the signal, sets the status
      return;
    }
    if (!apply_line(raw, path, record, program, status)) return;
  }
  vd_printf(msg_id(13));
  status = 0;
}
