#include "e2e/host_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <stdexcept>

#include "sys_fd.h"

namespace fs = std::filesystem;

namespace e2e {

std::string strip_log_headers(std::string_view log) {
  static const std::regex header(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} UTC )");
  std::istringstream lines{std::string(log)};
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, header)) continue;
    kept += line;
    if (!lines.eof()) kept += '\n';
  }
  return kept;
}

TempHost::TempHost(const hostsim::HostOptions& options) : dir_(sys::make_scratch_dir("zarnhost")) {
  try {
    hostsim::create_host(dir_, options);
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    throw;
  }
}

TempHost::~TempHost() {
  try {
    hostsim::remove_host(dir_);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "cannot remove host: " << e.what();
  }
}

fs::path TempHost::path(std::string_view in_host) const {
  return dir_ / fs::path(in_host).relative_path();
}

hostsim::RunResult TempHost::run(const std::vector<std::string>& argv, const hostsim::RunOptions& options) const {
  return hostsim::run_in_host(dir_, argv, options);
}

hostsim::RunResult TempHost::sh(const std::string& script, const hostsim::RunOptions& options) const {
  return run({"/bin/sh", "-c", script}, options);
}

hostsim::RunResult TempHost::zarncfg(const std::vector<std::string>& args, const hostsim::RunOptions& options) const {
  std::vector<std::string> argv{kZarncfg};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, options);
}

bool TempHost::exists(std::string_view in_host) const { return fs::exists(fs::symlink_status(path(in_host))); }

std::string TempHost::read_file(std::string_view in_host) const {
  const sys::UniqueFd fd = sys::open_fd(path(in_host), O_RDONLY);
  if (!fd.valid()) throw std::runtime_error("cannot open " + std::string(in_host) + " in host " + dir_.string());
  std::string text;
  if (!sys::read_all(fd.get(), text)) throw std::runtime_error("cannot read " + std::string(in_host) + " in host " + dir_.string());
  return text;
}

void TempHost::write_file(std::string_view in_host, std::string_view content, mode_t mode) const {
  const fs::path target = path(in_host);
  fs::create_directories(target.parent_path());
  const std::string parent = fs::canonical(target.parent_path()).string();
  if (parent.compare(0, dir_.string().size(), dir_.string()) != 0) {
    throw std::runtime_error("refusing to write " + std::string(in_host) + ": it leads out of the host");
  }
  // Replace rather than write into: the old entry may be a link to the real /usr.
  std::error_code ignored;
  fs::remove(target, ignored);
  const sys::UniqueFd fd = sys::open_fd(target, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  const bool ok = fd.valid() && sys::write_all(fd.get(), content) && ::fchmod(fd.get(), mode) == 0;
  if (!ok) throw std::runtime_error("cannot write " + std::string(in_host) + " in host " + dir_.string());
}

std::string TempHost::log_text() const { return strip_log_headers(read_file(kZarncfgLog)); }

hostsim::RunOptions as_user(std::string user) {
  hostsim::RunOptions options;
  options.user = std::move(user);
  return options;
}

hostsim::RunOptions with_stdin(std::string data) {
  hostsim::RunOptions options;
  options.stdin_data = std::move(data);
  return options;
}

hostsim::RunOptions in_dir(std::string cwd) {
  hostsim::RunOptions options;
  options.cwd = std::move(cwd);
  return options;
}

hostsim::RunOptions with_timeout(std::chrono::seconds timeout) {
  hostsim::RunOptions options;
  options.timeout = timeout;
  return options;
}

std::string describe(const hostsim::RunResult& result) {
  std::ostringstream text;
  text << "exit status " << result.exit_status << ", signal " << result.term_signal
       << (result.timed_out ? ", timed out" : "") << "\n--- stdout\n" << result.out << "--- stderr\n" << result.err;
  return text.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool make_zarnd_kill_zarncfg(const TempHost& host) {
  if (host.sh("cp -p /opt/zarn/bin/zarnd /opt/zarn/bin/zarnd.real").exit_status != 0) return false;
  host.write_file("/opt/zarn/bin/zarnd",
                  "#!/bin/sh\n"
                  "p=$PPID\n"
                  "while [ \"$p\" -gt 1 ]; do\n"
                  "  if [ \"$(cat /proc/$p/comm)\" = zarncfg ]; then kill -9 \"$p\"; exit 0; fi\n"
                  "  set -- $(cat /proc/$p/stat); p=$4\n"
                  "done\n",
                  0755);
  return true;
}

bool put_back_zarnd(const TempHost& host) {
  return host.sh("mv /opt/zarn/bin/zarnd.real /opt/zarn/bin/zarnd").exit_status == 0;
}

}  // namespace e2e
