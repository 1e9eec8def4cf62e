// Policy administration: the product's default policy is shipped as command
// files that are read, filled in with this run's values and applied to the
// Varden Policy Server one command at a time.  The policy server keeps the
// undo record of every command in the same transaction as the command, under
// this run's tag, so that a failed run, or the next run after a killed one,
// can take the commands back exactly.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kxadmin.h"
#include "zarncfg_msg.h"
#include "zarncfg_record.h"

// ---- Command files (zarncfg_kxcommon_file.cpp, zarncfg_kxcommon_parse.cpp) ----

// One parsed line of a command file; also an entry of the undo stack.
struct AdminCommand {
  std::string command;              // fields 0 and 1 joined by "_"
  std::vector<std::string> fields;  // quoted blanks still carry WORD_JOINER
  int index = -1;                   // row of zarncfg_kxadmin_command_usage
  int field_count = 0;
};

struct CommandUsage {
  std::string_view command;
  int min_fields;
};

// Searched in row order; the row number is the command index.
inline constexpr std::array<CommandUsage, 11> zarncfg_kxadmin_command_usage = {{
    {"object_create", 7},
    {"acl_attach", 4},
    {"acl_create", 3},
    {"acl_modify", 6},
    {"action_create", 5},
    {"group_create", 5},
    {"group_modify", 5},
    {"objectspace_create", 5},
    {"user_create", 7},
    {"user_modify", 5},
    {"action_group", 4},
}};

inline constexpr int KX_OBJECT_CREATE = 0;
inline constexpr int KX_ACTION_GROUP = 10;

constexpr bool command_usage_is_sound() {
  for (const auto& row : zarncfg_kxadmin_command_usage) {
    // A command word is two words and fits the record's 32-byte word.
    if (row.command.find('_') == std::string_view::npos || row.command.size() > 31) return false;
    if (row.min_fields < 3) return false;
  }
  return true;
}
static_assert(command_usage_is_sound(), "each command is two words and at least one argument");
static_assert(zarncfg_kxadmin_command_usage[KX_OBJECT_CREATE].command == "object_create");
static_assert(zarncfg_kxadmin_command_usage[KX_ACTION_GROUP].command == "action_group");

// A command file line may hold at most this many bytes before its newline.
inline constexpr std::size_t KXADMIN_MAX_LINE = 2047;

// Placeholders, replaced in this order.
inline constexpr std::array<std::string_view, 6> kxadmin_subs = {
    "%POLICY%", "%SUFFIX%", "%BREVIKADMINSUFFIX%", "%RANDOM%", "%RANDOM1%", "%VDUSERNAME%",
};

// The fixed locations of the five command files of the default policy.
inline constexpr const char* BREVIK_ONCE_ONLY = "/opt/zarn/etc/brevik.once-only";
inline constexpr const char* BREVIK_ONCE_ONLY_U3800 = "/opt/zarn/etc/brevik.once-only.u3800";
inline constexpr const char* BREVIK_ONCE_ONLY_U4100 = "/opt/zarn/etc/brevik.once-only.u4100";
inline constexpr const char* BREVIK_PER_POLICY = "/opt/zarn/etc/brevik.per-policy";
inline constexpr const char* BREVIK_PER_MACHINE = "/opt/zarn/etc/brevik.per-machine";

// Reads and applies one command file; on a failure the rest is not read.
void zarncfg_process_kxadmin_file(const std::string& path, const ConfigRecord& record, std::string_view program,
                                  vd_msgid_t& status);
// Replaces every placeholder of kxadmin_subs in the line.
void zarncfg_kxadmin_replace_string(std::string& line, const ConfigRecord& record, std::string_view program,
                                    vd_msgid_t& status);
// Fills the command from a prepared line; 0 on success, 1 when the line is
// not a known command with enough fields.
int zarncfg_parse_kxadmin(AdminCommand& cmd, const std::string& line, const std::string& path);

// Comment cut and white space folding of one raw line (steps before the
// quotes are grouped); the result is empty for a line to skip.
std::string zarncfg_kxadmin_clean_line(std::string_view raw);

// Where %RANDOM% and %RANDOM1% come from: zarncfg_simple_password unless a
// test installs its own source; an empty function restores the default.
void zarncfg_kxadmin_set_password_source(std::function<std::string()> source);

// ---- Execution (zarncfg_kxcommon_exec.cpp, zarncfg_kxcommon_wrappers.cpp) ----

// 0 when the command was applied (its undo record is on the policy server)
// and pushed; 1 otherwise.
int zarncfg_execute_kxadmin_command(const AdminCommand& cmd);
// Logs every entry of the response; the code of the last one, 0 if none.
std::uint32_t zarncfg_process_response(const kxadmin_response* response);

// One per command index; each returns the API result (1 success) and leaves
// a response behind on failure.  Taking a command back is the policy
// server's part: it keeps the rows as they were before each call.
using KxWrapper = int (*)(const kxadmin_context*, std::span<const std::string>, kxadmin_response_t&);
int zarncfg_kx_protobj_create(const kxadmin_context* context, std::span<const std::string> fields,
                              kxadmin_response_t& response);
int zarncfg_kx_protobj_attachacl(const kxadmin_context* context, std::span<const std::string> fields,
                                 kxadmin_response_t& response);
int zarncfg_kx_acl_create(const kxadmin_context* context, std::span<const std::string> fields,
                          kxadmin_response_t& response);
int zarncfg_kx_acl_modify(const kxadmin_context* context, std::span<const std::string> fields,
                          kxadmin_response_t& response);
int zarncfg_kx_action_create(const kxadmin_context* context, std::span<const std::string> fields,
                             kxadmin_response_t& response);
int zarncfg_kx_group_create(const kxadmin_context* context, std::span<const std::string> fields,
                            kxadmin_response_t& response);
int zarncfg_kx_group_modify(const kxadmin_context* context, std::span<const std::string> fields,
                            kxadmin_response_t& response);
int zarncfg_kx_objectspace_create(const kxadmin_context* context, std::span<const std::string> fields,
                                  kxadmin_response_t& response);
int zarncfg_kx_user_create(const kxadmin_context* context, std::span<const std::string> fields,
                           kxadmin_response_t& response);
int zarncfg_kx_user_modify(const kxadmin_context* context, std::span<const std::string> fields,
                           kxadmin_response_t& response);
int zarncfg_kx_action_group(const kxadmin_context* context, std::span<const std::string> fields,
                            kxadmin_response_t& response);

// A decimal field as a C decimal conversion reads it: leading blanks and a
// sign allowed, digits up to the first other character; 0 when there are
// none, the nearest int when the number does not fit.
int zarncfg_kxadmin_decimal(std::string_view text);

// ---- Undo stack (zarncfg_kxcommon_undo.cpp) ----

// The commands applied in this run, newest last: what a roll-back shows and
// logs.  Their undo records are on the policy server.
void zarncfg_kxadmin_reset_undo_stack();
void zarncfg_kxadmin_push(const AdminCommand& cmd);
// Takes the newest command off the stack; false when it is empty.
bool zarncfg_kxadmin_pop(AdminCommand& newest);
std::size_t zarncfg_kxadmin_undo_depth();

// ---- This run on the policy server (zarncfg_kxcommon_run.cpp) ----

// The tag under which this run's commands keep their undo records: the
// tag of the host's run record (host name, process, start), so that the
// record on the host and the records on the policy server name the same run.
const kxadmin_run_tag& zarncfg_kxadmin_run_tag();
// The number of undo records the policy server holds for the run; none
// when it cannot say (its response logged).
std::optional<unsigned long> zarncfg_kxadmin_records_of(const kxadmin_context* context, const kxadmin_run_tag& tag);
// Drops the undo records of the run of that tag, its policy staying; true
// once they are gone (a refusal's response is logged).
[[nodiscard]] bool zarncfg_kxadmin_discard_run(const kxadmin_context* context, const kxadmin_run_tag& tag);

// Takes back every command of this run, newest first, through the undo
// records on the policy server: one dot each, then a newline.  The number
// of commands not taken back: a roll-back cut short leaves them on the
// policy server under this run's tag (ZRNCF1421W printed and logged), for
// the next run on this host to take back.
[[nodiscard]] std::size_t zarncfg_kxadmin_roll_back();
// A run that ended normally drops its undo records.  False with ZRNCF1428E
// when it lost a lease (zarncfg_kxadmin_leases_held), or with ZRNCF1424E
// printed and logged and the status set when the policy server refuses:
// the run must then fail and roll back, since records left behind would
// have the next run take this run's policy back.
[[nodiscard]] bool zarncfg_kxadmin_end_run(vd_msgid_t& status);

// ---- Runs that were killed (zarncfg_kxcommon_killed.cpp) ----

// Rolls back, on the policy server, the policy that the run of that tag
// applied and never finished (killed, or its own roll-back cut short), from
// the undo records the server keeps under the tag.  Announced (ZRNCF1422W)
// and shown with one dot per command taken back; nothing when the server
// holds no records of the run.  Needs the security master password of the
// record.  False with ZRNCF1423E printed and logged and the status set when
// the server could not be asked or the roll-back stopped short: the run
// must not apply its own policy over what is left.
[[nodiscard]] bool zarncfg_kxadmin_roll_back_killed_run(const ConfigRecord& record, const kxadmin_run_tag& tag,
                                                        vd_msgid_t& status);
// Drops, on the policy server, the undo records a run of this host left
// when it was killed after every step had succeeded (and its record said
// so): its policy stays.  Needs the security master password of the
// record.  False with ZRNCF1424E printed and logged and the status set
// when the server could not drop them.
[[nodiscard]] bool zarncfg_kxadmin_drop_settled_run(const ConfigRecord& record, const kxadmin_run_tag& tag,
                                                    vd_msgid_t& status);
// Takes back the undo records of the run of that tag, one dot each after
// `announce` got their number; true when none are left (or there were
// none, when nothing is announced).
[[nodiscard]] bool zarncfg_kxadmin_take_back_run(const kxadmin_context* admin, const kxadmin_run_tag& tag,
                                                 const std::function<void(unsigned long)>& announce);

// ---- Leases on shared policy (zarncfg_kxcommon_lease.cpp) ----

// How a run holds and waits for leases: it renews those it holds every
// `renewal`; a lease not renewed for three periods has expired; a run waits
// at most `wait_limit` for the policy another run is creating, looking again
// every `renewal`.  Entries "lease-renewal-ms" and "lease-wait-ms" of stanza
// "kxadmin" in the Varden runtime configuration; defaults 10 s and 30 min.
struct LeaseTiming {
  long renewal_ms = 10000;
  long wait_limit_ms = 1800000;
  long expiry_ms() const { return 3 * renewal_ms; }
};
LeaseTiming zarncfg_lease_timing(const std::string& vd_conf);

// Whether the shared policy `space` (the product's or a branch's object
// space) is on the policy server, made by a run that has ended.  Takes the
// lease of `space` first, waiting (ZRNCF1426I) while another run holds it
// and rolling back a dead owner's commands (ZRNCF1429W); keeps it when the
// space is missing, so that this run creates it and no other run builds on
// it before this run has ended.  False with the status set when the lease
// cannot be had (ZRNCF1427E after the wait limit, ZRNCF1430E, ZRNCF1423E).
bool zarncfg_shared_policy_present(const ConfigRecord& record, std::string_view space,
                                   const std::function<bool()>& space_exists, vd_msgid_t& status);
// Before the run ends normally: whether it still holds every lease it took.
// False with ZRNCF1428E printed and logged and the status set when it lost
// one: another run may have taken its policy back, so the run must fail.
[[nodiscard]] bool zarncfg_kxadmin_leases_held(vd_msgid_t& status);
// The run has ended: its renewals stop and its leases are given up, unless
// `keep` (policy of the run is left on the server): they then expire and
// the next run that needs them takes the rest back.
void zarncfg_kxadmin_end_leases(bool keep);

// ---- Context and default policy (zarncfg_kxcommon_context.cpp) ----

// The policy administration context of the run; empty until it is created.
extern kxadmin_context_t ctx;

void zarncfg_initialize_kxadmin_context(const ConfigRecord& record, std::string_view program, vd_msgid_t& status);
void zarncfg_define_default_policies(const ConfigRecord& record, vd_msgid_t& status);
// 1 when an ACL of exactly that name exists, else 0.
int zarncfg_acl_exists(std::string_view acl);
// Before the registration of a first configuration: the name under which
// this host's security daemon would be registered, when the policy server
// already holds it (another machine of the same name, or this one before it
// was re-imaged); none when it is free.  ZRNCF1425E printed and logged and
// the status set when the policy server cannot tell.
std::optional<std::string> zarncfg_kxadmin_registered_name(vd_msgid_t& status);

// ---- A preview of a run (zarncfg_kxcommon_preview.cpp) ----

// What a preview learns of the policy a run would load: each command file
// in the order the run reads it, with the number of its commands.
struct PolicyFileCount {
  std::string path;
  std::size_t commands = 0;
  bool operator==(const PolicyFileCount&) const = default;
};

struct PolicyPreview {
  std::vector<PolicyFileCount> files;
};

// While a preview is installed the policy server is only looked at: the
// context is opened read-only and carries no run tag, each command is
// counted for the file being read instead of applied, and this host's
// daemon, which the preview never registers, counts as registered under
// "zarnd/<host name>".  Nothing ends the preview.
void zarncfg_kxadmin_preview(PolicyPreview* preview);
PolicyPreview* zarncfg_kxadmin_current_preview();
