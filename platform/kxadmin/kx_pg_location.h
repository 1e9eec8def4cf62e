// A policy store on PostgreSQL is named by a libpq connection URI
// ("postgresql://..."); these are the rules such a location must meet
// before anything connects with it, and its form for messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kx {

bool is_postgresql_location(std::string_view location);

// The URI without credentials: a password in its user part and the values
// of password parameters are left out.  Every message and log line that
// names a store shows this form.
std::string uri_without_credentials(std::string_view uri);

// Why the store at `uri` may not be used, or none when it may:
// - the URI does not parse;
// - it carries a password (credentials belong in a password file);
// - the password file it names (passfile) is missing, not a regular file,
//   not owned by root or open to anyone but its owner;
// - it reaches the server over TCP without sslmode=verify-full (libpq's
//   default would fall back to no TLS); Unix sockets need no TLS.
// Parameters the URI leaves out are taken from the environment, as libpq
// takes them (PGHOST, PGHOSTADDR, PGSSLMODE, PGPASSFILE, PGPASSWORD).
std::optional<std::string> refused_store_uri(const std::string& uri);

}  // namespace kx
