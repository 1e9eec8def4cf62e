#include "zarnhost_args.h"

#include <stdexcept>
#include <string_view>

namespace hostsim {
namespace {

class ArgReader {
 public:
  explicit ArgReader(std::span<const std::string> args) : args_(args) {}

  bool done() const { return next_ == args_.size(); }
  const std::string& take(std::string_view what) {
    if (done()) throw std::invalid_argument("missing " + std::string(what));
    return args_[next_++];
  }
  std::vector<std::string> rest() {
    std::vector<std::string> left(args_.begin() + static_cast<std::ptrdiff_t>(next_), args_.end());
    next_ = args_.size();
    return left;
  }

 private:
  std::span<const std::string> args_;
  size_t next_ = 0;
};

[[noreturn]] void unknown_option(const std::string& option) {
  throw std::invalid_argument("unknown option " + option);
}

CreateRequest parse_create(ArgReader& reader) {
  CreateRequest request{reader.take("host directory"), {}};
  while (!reader.done()) {
    const std::string& option = reader.take("option");
    if (option == "--hostname") {
      request.options.hostname = reader.take("host name");
    } else if (option == "--product") {
      request.options.product = reader.take("product directory");
    } else if (option == "--shared-varden") {
      request.options.shared_varden = reader.take("shared Varden directory");
    } else if (option == "--policy-server-socket") {
      request.options.policy_server_socket = reader.take("policy server socket directory");
    } else if (option == "--vdrte-version") {
      request.options.vdrte_version = reader.take("Varden runtime version");
    } else {
      unknown_option(option);
    }
  }
  return request;
}

RunRequest parse_run(ArgReader& reader) {
  RunRequest request{reader.take("host directory"), {}, "/", {}};
  for (;;) {
    const std::string& option = reader.take("-- and a command");
    if (option == "--") break;
    if (option == "--user") {
      request.user = reader.take("user name");
    } else if (option == "--cwd") {
      request.cwd = reader.take("directory");
    } else {
      unknown_option(option);
    }
  }
  request.command = reader.rest();
  if (request.command.empty()) throw std::invalid_argument("missing command after --");
  return request;
}

}  // namespace

ZarnhostRequest parse_zarnhost_args(std::span<const std::string> args) {
  ArgReader reader(args);
  const std::string& verb = reader.take("create or run");
  if (verb == "create") return parse_create(reader);
  if (verb == "run") return parse_run(reader);
  throw std::invalid_argument("unknown command " + verb);
}

}  // namespace hostsim
