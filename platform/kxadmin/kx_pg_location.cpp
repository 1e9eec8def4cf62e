#include "kx_pg_location.h"

#include <libpq-fe.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace kx {
namespace {

constexpr std::string_view SCHEME = "postgresql://";

bool is_password_parameter(std::string_view key) { return key == "password" || key == "sslpassword"; }

// The query part of a URI with the password parameters left out.
std::string query_without_passwords(std::string_view query) {
  std::string kept;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
    if (is_password_parameter(pair.substr(0, pair.find('=')))) continue;
    kept += (kept.empty() ? "" : "&") + std::string(pair);
  }
  return kept;
}

struct OptionsFree {
  void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

// The URI's parameters that are set, or none with libpq's reason.
std::optional<std::map<std::string, std::string>> parse(const std::string& uri, std::string& reason) {
  char* error = nullptr;
  std::unique_ptr<PQconninfoOption, OptionsFree> options(PQconninfoParse(uri.c_str(), &error));
  if (!options) {
    reason = error != nullptr ? error : "out of memory";
    PQfreemem(error);
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    return std::nullopt;
  }
  std::map<std::string, std::string> set;
  for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
    if (option->val != nullptr) set[option->keyword] = option->val;
  }
  return set;
}

// A parameter of the URI, or what libpq would take from the environment.
std::string effective(const std::map<std::string, std::string>& set, const std::string& key, const char* env) {
  if (auto found = set.find(key); found != set.end()) return found->second;
  const char* value = std::getenv(env);
  return value != nullptr ? value : "";
}

// A host entry is a Unix socket folder ("/..." or an abstract "@..."),
// or empty for libpq's default socket; anything else is a TCP host.
bool reaches_over_tcp(const std::string& hosts, const std::string& hostaddrs) {
  if (!hostaddrs.empty()) return true;
  std::string_view list = hosts;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view host = list.substr(0, comma);
    if (!host.empty() && host.front() != '/' && host.front() != '@') return true;
    if (comma == std::string_view::npos) return false;
    list.remove_prefix(comma + 1);
  }
}

std::optional<std::string> refused_password_file(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "its password file " + path + " cannot be read: " + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "its password file " + path + " is not a regular file";
  if (st.st_uid != 0 || (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    return "its password file " + path + " must be owned by root and open to no one else (mode 0600)";
  }
  return std::nullopt;
}

}  // namespace

bool is_postgresql_location(std::string_view location) { return location.starts_with(SCHEME); }

std::string uri_without_credentials(std::string_view uri) {
  if (!is_postgresql_location(uri)) return std::string(uri);
  std::string_view rest = uri.substr(SCHEME.size());
  const std::size_t query_at = rest.find('?');
  std::string_view query = query_at == std::string_view::npos ? std::string_view() : rest.substr(query_at + 1);
  std::string_view before_query = rest.substr(0, query_at);
  const std::size_t path_at = before_query.find('/');
  std::string_view authority = before_query.substr(0, path_at);
  const std::string_view path = path_at == std::string_view::npos ? std::string_view() : before_query.substr(path_at);
  std::string shown(SCHEME);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view user_info = authority.substr(0, at);
    shown += std::string(user_info.substr(0, user_info.find(':'))) + "@";
    authority.remove_prefix(at + 1);
  }
  shown += std::string(authority) + std::string(path);
  const std::string kept = query_without_passwords(query);
  if (query_at != std::string_view::npos && !kept.empty()) shown += "?" + kept;
  return shown;
}

std::optional<std::string> refused_store_uri(const std::string& uri) {
  std::string reason;
  const std::optional<std::map<std::string, std::string>> set = parse(uri, reason);
  if (!set) return "its URI cannot be read: " + reason;
  if (set->contains("password") || set->contains("sslpassword")) {
    return "its URI carries a password; name a password file (passfile) instead";
  }
  if (const std::string passfile = effective(*set, "passfile", "PGPASSFILE"); !passfile.empty()) {
    if (std::optional<std::string> refused = refused_password_file(passfile)) return refused;
  }
  if (reaches_over_tcp(effective(*set, "host", "PGHOST"), effective(*set, "hostaddr", "PGHOSTADDR")) &&
      effective(*set, "sslmode", "PGSSLMODE") != "verify-full") {
    return "it is reached over TCP, which needs sslmode=verify-full";
  }
  return std::nullopt;
}

}  // namespace kx
