// Stand-in for the SSL configuration tool /opt/Varden/bin/certbind.
//   -config   registers <name>/<host name> as a user of the policy store and
//             creates <keydir>/<name>.kdb and .sth;
//   -unconfig removes that user and the key files;
//   -chgport  records a new listening port;  -modify  a new CA certificate.
// Passwords come from -P/-S or from standard input (security master
// password, then key store password); "-S -" lets the tool generate one.
// Exit status: 0 done, 2 bad arguments, 3 wrong security master password,
// 4 policy store or file failure.  Fail switches: /var/zarn/run/fail.certbind
// (every action) and fail.certbind-config, -unconfig, -chgport, -modify.
#include <sys/utsname.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "certbind_args.h"
#include "certbind_keys.h"
#include "kxadmin.h"
#include "standin_common.h"

namespace {

constexpr int kBadArguments = 2;
constexpr int kWrongPassword = 3;
constexpr int kStoreFailure = 4;

const char* action_name(CertbindAction action) {
  switch (action) {
    case CertbindAction::config: return "config";
    case CertbindAction::unconfig: return "unconfig";
    case CertbindAction::chgport: return "chgport";
    case CertbindAction::modify: return "modify";
  }
  return "";
}

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "certbind: %s\n", message.c_str());
  return code;
}

std::string host_name() {
  struct utsname names {};
  return uname(&names) == 0 ? names.nodename : "localhost";
}

std::string store_user(const std::string& name) { return name + "/" + host_name(); }

std::string read_password_line() {
  std::string line;
  if (!std::getline(std::cin, line)) return "";
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string response_text(const kxadmin_response_t& rsp) {
  return rsp && kxadmin_response_getcount(rsp.get()) > 0 ? kxadmin_response_getmessage(rsp.get(), 0) : "no reason";
}

// The security master's context, or the exit status that ends the run.
int log_in(const CertbindArgs& args, kxadmin_context_t& ctx) {
  kxadmin_response_t rsp;
  if (kxadmin_context_createdefault(std::string_view("sec_master"), std::string_view(*args.master_pwd), ctx, rsp) ==
      1) {
    return 0;
  }
  if (rsp && kxadmin_response_getcount(rsp.get()) > 0 &&
      kxadmin_response_getcode(rsp.get(), 0) == KXADMIN_CODE_BAD_PASSWORD) {
    return fail(kWrongPassword, "the security master password is not valid");
  }
  return fail(kStoreFailure, "the policy store could not be opened: " + response_text(rsp));
}

int configure(CertbindArgs& args, const kxadmin_context_t& ctx) {
  if (!args.keystore_pwd) args.keystore_pwd = read_password_line();
  if (*args.keystore_pwd == "-") args.keystore_pwd = certbind_random_password();
  const std::string user = store_user(*args.name);
  kxadmin_response_t rsp;
  const int created = kxadmin_user_create3(ctx.get(), std::string_view(user), std::string_view("cn=" + user),
                                           std::string_view(user), std::string_view(*args.name),
                                           std::string_view(*args.keystore_pwd), 0, {}, 0, 1, rsp);
  if (created != 1) return fail(kStoreFailure, "user " + user + " could not be registered: " + response_text(rsp));
  const CertbindRecord record{*args.name, *args.key_dir, *args.config_file, *args.side,
                              *args.port,  args.cacert.value_or(""), args.listening.value_or("")};
  if (!certbind_write_keys(record, args.keystore_pwd)) {
    return fail(kStoreFailure, "the key files could not be written in " + record.key_dir);
  }
  return 0;
}

int unconfigure(const CertbindArgs& args, const kxadmin_context_t& ctx) {
  const std::string user = store_user(*args.name);
  kxadmin_response_t rsp;
  if (kxadmin_user_delete2(ctx.get(), std::string_view(user), 1, rsp) != 1) {
    return fail(kStoreFailure, "user " + user + " could not be removed: " + response_text(rsp));
  }
  CertbindRecord record = certbind_read_record(*args.name).value_or(CertbindRecord{});
  record.name = *args.name;
  if (record.key_dir.empty()) record.key_dir = args.key_dir.value_or("/var/zarn/certs");
  certbind_remove_keys(record);
  return 0;
}

int change_settings(const CertbindArgs& args) {
  const std::string name = args.name.value_or("zarnd");
  auto record = certbind_read_record(name);
  if (!record) return fail(kStoreFailure, name + " is not configured");
  if (args.action == CertbindAction::chgport) record->port = *args.port;
  if (args.action == CertbindAction::modify) record->cacert = *args.cacert;
  if (!certbind_update_keys(*record)) return fail(kStoreFailure, "the key database could not be written");
  return 0;
}

int run(CertbindArgs& args) {
  if (args.action == CertbindAction::modify) return change_settings(args);
  if (!args.master_pwd) args.master_pwd = read_password_line();
  kxadmin_context_t ctx;
  if (const int refused = log_in(args, ctx); refused != 0) return refused;
  switch (args.action) {
    case CertbindAction::config: return configure(args, ctx);
    case CertbindAction::unconfig: return unconfigure(args, ctx);
    default: return change_settings(args);
  }
}

}  // namespace

int main(int argc, char** argv) {
  standin_record_invocation(argc, argv);
  if (auto failure = standin_requested_failure("certbind")) return *failure;
  const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::string error;
  auto args = certbind_parse_args(words, error);
  if (!args) return fail(kBadArguments, error);
  if (auto failure = standin_requested_failure(std::string("certbind-") + action_name(args->action))) {
    return *failure;
  }
  return run(*args);
}
