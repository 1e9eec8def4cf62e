// The command forms of the kxadmin tool, in the order of its usage line.
// The usage line and the commands section of kxadmin(8) are made from this
// table, so the two cannot disagree.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kxtool {

struct CommandForm {
  std::string_view form;  // as typed after "kxadmin [--store PATH]"
  std::string_view does;  // one sentence for the manual page
};

inline constexpr std::array<CommandForm, 18> kCommandForms = {{
    {"init [--sec-master-pwd PASSWORD] [--force]",
     "Creates an empty policy store, and its missing parent directories, with the security master password "
     "PASSWORD (without the option, the first line of standard input). An existing store is replaced only "
     "with --force."},
    {"dump [--undo]",
     "Prints the whole store as text, one line per row, sorted, with password hashes shown as <hash>; with --undo, "
     "the unfinished runs and their undo records follow, oldest record first."},
    {"migrate",
     "Brings a policy store of an older version (1 or 2) up to this version in one transaction, keeping every row; "
     "a store of another version is left as it was."},
    {"objectspace list", "Prints the names of the object spaces, one a line, sorted."},
    {"object list", "Prints the names of the protected objects, one a line, sorted."},
    {"acl list", "Prints the names of the ACLs, one a line, sorted."},
    {"acl show NAME", "Prints the entries of ACL NAME: user, group, any-other, unauthenticated and attribute lines."},
    {"user list [PATTERN]",
     "Prints the user names that match PATTERN (default *); a trailing * matches any ending. Each registered "
     "host appears as zarnd/HOSTNAME."},
    {"group list", "Prints the names of the groups, one a line, sorted."},
    {"group show NAME", "Prints the DN and CN of group NAME, then one member line per member."},
    {"action list", "Prints the actions: NAME for an action in no group, NAME GROUP for one in an action group."},
    {"fault API [NAME] [--code N] [--reason R] [--count K]",
     "For tests: makes the next K (default 1) calls of the library function API (with or without its kxadmin_ "
     "prefix), on object NAME if given, fail with code N (default 0x13548009) and reason R (default 0)."},
    {"fault list", "Prints the pending faults, oldest first."},
    {"fault clear", "Removes every pending fault."},
    {"run list [HOST]",
     "Prints the unfinished runs (those with undo records), of HOST or of every host: host, process id, start time "
     "and number of records."},
    {"run rollback HOST PID STARTED",
     "Rolls back the run with that tag: applies its undo records newest first, each in its own transaction, so "
     "that a roll-back cut short is finished by the next."},
    {"run discard HOST PID STARTED", "Removes the undo records of the run with that tag, keeping its changes."},
    {"lease list",
     "Prints the leases on shared policy, sorted by name: name, owning run (host, process id, start time), expiry "
     "in milliseconds of the store's clock, and whether it has expired."},
}};

// "usage: kxadmin [--store PATH] FORM | FORM | ...\n"
inline std::string usage_line() {
  std::string line = "usage: kxadmin [--store PATH] ";
  for (std::size_t i = 0; i < kCommandForms.size(); ++i) {
    if (i > 0) line += " | ";
    line += kCommandForms[i].form;
  }
  return line + "\n";
}

}  // namespace kxtool
