// The option tables: which options exist, where their values live in the
// daemons' stanza files, how they are validated and which may be deleted.
// Every consumer receives a table together with its row count.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "zarncfg_msg.h"

// Option indexes that are not command-line options.
inline constexpr int IDX_LDAP_SERVER_CONFIG = 45;
inline constexpr int IDX_LDAP_SSL_ENABLED = 46;
inline constexpr int IDX_CONFIG_STATE = 47;
inline constexpr int IDX_LRD_STATE = 48;
inline constexpr int CONFIG_RECORD_SIZE = 49;

// Command-line option indexes the code refers to by name.
inline constexpr int IDX_ADMIN_CRED_REFRESH = 0;
inline constexpr int IDX_AUDIT_LEVEL = 1;
inline constexpr int IDX_AUTOSTART = 6;
inline constexpr int IDX_BRANCH = 7;
inline constexpr int IDX_CRED_HOLD = 8;
inline constexpr int IDX_DELETE = 12;
inline constexpr int IDX_FFDC_CAPTURE = 14;
inline constexpr int IDX_LDAP_SSL_CACERT = 17;
inline constexpr int IDX_LOGIN_POLICY = 18;
inline constexpr int IDX_LRD_CONFIG = 19;
inline constexpr int IDX_LRD_LOG_ENTRIES = 20;
inline constexpr int IDX_LRD_LOGS = 21;
inline constexpr int IDX_RSPFILE = 28;
inline constexpr int IDX_SEC_MASTER_PWD = 29;
inline constexpr int IDX_SSL_LISTENING_PORT = 30;
inline constexpr int IDX_SUFFIX = 31;
inline constexpr int IDX_USER_CRED_REFRESH = 39;

inline constexpr std::uint32_t OPT_MIN_ABBREV_MASK = 0x3FF;
inline constexpr std::uint32_t OPT_VALUE_REQUIRED = 0x800;

struct ConfigOptionDef {
  std::int32_t index;
  vd_msgid_t help;
  const char* name;
  std::uint32_t flags;
};

constexpr std::uint32_t opt_value(std::uint32_t min_length) { return min_length | OPT_VALUE_REQUIRED; }

inline constexpr std::array<ConfigOptionDef, 44> config_option_def = {{
    {0, msg_id(103), "-admin_cred_refresh", opt_value(3)},
    {1, msg_id(142), "-audit_level", opt_value(9)},
    {2, msg_id(109), "-audit_log_entries", opt_value(12)},
    {3, msg_id(108), "-audit_log_size", opt_value(12)},
    {4, msg_id(107), "-audit_logflush", opt_value(11)},
    {5, msg_id(110), "-audit_logs", opt_value(11)},
    {6, msg_id(134), "-autostart", opt_value(4)},
    {7, msg_id(120), "-branch", opt_value(2)},
    {8, msg_id(132), "-cred_hold", opt_value(7)},
    {9, msg_id(148), "-cred_response_wait", opt_value(7)},
    {10, msg_id(147), "-critical_cred_group", opt_value(16)},
    {11, msg_id(146), "-critical_cred_refresh", opt_value(16)},
    {12, msg_id(143), "-delete", opt_value(3)},
    {13, msg_id(113), "-dns", opt_value(3)},
    {14, msg_id(149), "-ffdc_capture", opt_value(2)},
    {15, msg_id(114), "-help", 2},
    {16, msg_id(115), "-kmsg_hnd_threads", opt_value(2)},
    {17, msg_id(137), "-ldap_ssl_cacert", opt_value(3)},
    {18, msg_id(140), "-login_policy", opt_value(3)},
    {19, msg_id(153), "-lrd_config", opt_value(7)},
    {20, msg_id(151), "-lrd_log_entries", opt_value(9)},
    {21, msg_id(152), "-lrd_logs", opt_value(9)},
    {22, msg_id(121), "-operations", 2},
    {23, msg_id(116), "-zarnd_log_entries", opt_value(11)},
    {24, msg_id(117), "-zarnd_logs", opt_value(11)},
    {25, msg_id(118), "-zarnwdd_log_entries", opt_value(13)},
    {26, msg_id(119), "-zarnwdd_logs", opt_value(13)},
    {27, msg_id(122), "-refresh_interval", opt_value(3)},
    {28, msg_id(123), "-rspfile", opt_value(3)},
    {29, msg_id(131), "-sec_master_pwd", opt_value(3)},
    {30, msg_id(130), "-ssl_listening_port", opt_value(3)},
    {31, msg_id(104), "-suffix", opt_value(3)},
    {32, msg_id(145), "-tcb_ignore_ctime", opt_value(7)},
    {33, msg_id(124), "-tcb_interval", opt_value(7)},
    {34, msg_id(133), "-tcb_max_file_size", opt_value(7)},
    {35, msg_id(125), "-tcb_monitor_threads", opt_value(7)},
    {36, msg_id(144), "-tcb_nocrc_on_exec", opt_value(6)},
    {37, msg_id(126), "-uid", opt_value(3)},
    {38, msg_id(127), "-usage", 4},
    {39, msg_id(128), "-user_cred_refresh", opt_value(4)},
    {40, msg_id(129), "-version", 2},
    {41, msg_id(129), "-V", 2},
    {42, msg_id(111), "-warning", opt_value(2)},
    {43, msg_id(127), "-?", 2},
}};

// How a command-line word names an option: at least the option's minimum
// abbreviation, and nothing that is not part of the name.  Case-sensitive,
// as the command line is.
constexpr bool zarncfg_word_names_option(std::string_view word, const ConfigOptionDef& option) {
  const std::size_t min_length = option.flags & OPT_MIN_ABBREV_MASK;
  return word.size() >= min_length && std::string_view(option.name).starts_with(word);
}

// The first row the word names, or -1.
constexpr int zarncfg_find_option_row(std::string_view word, std::span<const ConfigOptionDef> options) {
  for (std::size_t row = 0; row < options.size(); ++row) {
    if (zarncfg_word_names_option(word, options[row])) return static_cast<int>(row);
  }
  return -1;
}

struct StanzaOptionMap {
  std::int32_t index;
  const char* stanza;
  const char* entry;
  const char* file;  // nullptr: read from files, never written
};

inline constexpr const char* ZARND_CONF = "/opt/zarn/etc/zarnd.conf";
inline constexpr const char* BREVIK_CONF = "/opt/zarn/etc/brevik.conf";
inline constexpr const char* ZARNAUDITD_CONF = "/opt/zarn/etc/zarnauditd.conf";
inline constexpr const char* ZARNWDD_CONF = "/opt/zarn/etc/zarnwdd.conf";
inline constexpr const char* ZARNEVCD_CONF = "/opt/zarn/etc/zarnevcd.conf";
inline constexpr const char* ZARNLRD_CONF = "/opt/zarn/etc/zarnlrd.conf";

inline constexpr std::array<StanzaOptionMap, 40> config_stanza_option_map = {{
    {16, "zarnd", "kmsg-handler-threads", ZARND_CONF},
    {23, "zarnd", "log-entries", ZARND_CONF},
    {24, "zarnd", "logs", ZARND_CONF},
    {27, "policy", "refresh-interval", ZARND_CONF},
    {35, "tcb", "monitor-threads", ZARND_CONF},
    {36, "tcb", "tcb-nocrc-on-exec", ZARND_CONF},
    {32, "tcb", "tcb-ignore-ctime", ZARND_CONF},
    {33, "tcb", "interval", ZARND_CONF},
    {34, "tcb", "max-checksum-file-size", ZARND_CONF},
    {39, "credentials", "user-cred-refresh", ZARND_CONF},
    {0, "credentials", "admin-cred-refresh", ZARND_CONF},
    {8, "credentials", "cred-hold", ZARND_CONF},
    {9, "credentials", "cred-response-wait", ZARND_CONF},
    {10, "credentials", "critical-cred-group", ZARND_CONF},
    {11, "credentials", "critical-cred-refresh", ZARND_CONF},
    {12, "zarncfg", "delete", nullptr},
    {29, "zarncfg", "sec-master-pwd", nullptr},
    {31, "zarncfg", "suffix", ZARND_CONF},
    {6, "zarncfg", "autostart", ZARND_CONF},
    {47, "zarncfg", "state", ZARND_CONF},
    {18, "zarncfg", "login-policy", ZARND_CONF},
    {46, "ldap", "ssl-enabled", ZARND_CONF},
    {45, "ldap", "ldap-server-config", ZARND_CONF},
    {17, "ldap", "ssl-certificate", nullptr},
    {30, "ssl", "ssl-listening-port", ZARND_CONF},
    {4, "zarnauditd", "audit-logflush", ZARNAUDITD_CONF},
    {3, "zarnauditd", "audit-logsize", ZARNAUDITD_CONF},
    {5, "zarnauditd", "logs", ZARNAUDITD_CONF},
    {2, "zarnauditd", "log-entries", ZARNAUDITD_CONF},
    {1, "audit", "level", BREVIK_CONF},
    {7, "policy", "branch", BREVIK_CONF},
    {42, "authorization", "warning", BREVIK_CONF},
    {13, "cache", "dns", BREVIK_CONF},
    {14, "ffdc", "capture", BREVIK_CONF},
    {37, "cache", "uid", BREVIK_CONF},
    {25, "zarnwdd", "log-entries", ZARNWDD_CONF},
    {26, "zarnwdd", "logs", ZARNWDD_CONF},
    {20, "zarnlrd", "log-entries", ZARNLRD_CONF},
    {21, "zarnlrd", "logs", ZARNLRD_CONF},
    {48, "zarnlrd", "state", ZARNLRD_CONF},
}};

enum RequirementKind : std::uint32_t {
  REQ_INT_RANGE = 0,
  REQ_MAX_LENGTH = 1,
  REQ_ON_OFF = 2,
  REQ_MEMBER_OF_SET = 3,
  REQ_PASSWORD = 4,
  REQ_FILE = 5,
  REQ_POSITIVE_NUMBER = 6,
  REQ_NONE = 7,
};

inline constexpr std::uint32_t REQ_INDEX_MASK = 0x3FF;
inline constexpr std::uint32_t REQ_KIND_SHIFT = 10;
inline constexpr std::uint32_t REQ_KIND_MASK = 0x7;

struct MinMaxRequirement {
  std::int32_t minimum;
  std::int32_t maximum;
  const std::string_view* value_set;
  std::uint32_t flags;

  constexpr int index() const { return static_cast<int>(flags & REQ_INDEX_MASK); }
  constexpr std::uint32_t kind() const { return (flags >> REQ_KIND_SHIFT) & REQ_KIND_MASK; }
};

constexpr std::uint32_t req(int index, RequirementKind kind) {
  return static_cast<std::uint32_t>(index) + static_cast<std::uint32_t>(kind) * 0x400;
}

inline constexpr std::array<std::string_view, 26> ZARND_DELETE_ITEMS = {
    "admin_cred_refresh", "audit_level",        "audit_log_entries",   "audit_logflush",     "audit_logs",
    "audit_log_size",     "cred_hold",          "cred_response_wait",  "critical_cred_group", "critical_cred_refresh",
    "dns",                "ffdc_capture",       "kmsg_hnd_threads",    "zarnd_log_entries",  "zarnd_logs",
    "zarnwdd_log_entries", "zarnwdd_logs",      "refresh_interval",    "tcb_ignore_ctime",   "tcb_interval",
    "tcb_max_file_size",  "tcb_monitor_threads", "tcb_nocrc_on_exec",  "uid",                "user_cred_refresh",
    "warning",
};

inline constexpr std::array<std::string_view, 11> BREVIK_LEVEL_ITEMS = {
    "all", "none", "permit", "deny", "admin", "verbose", "info", "loginpermit", "logindeny", "trace_exec", "trace_file",
};

inline constexpr std::int32_t INT32_LARGEST = 2147483647;

inline constexpr std::array<MinMaxRequirement, 33> zarndconf_min_max_requirements = {{
    {0, 1023, nullptr, req(17, REQ_FILE)},
    {1, INT32_LARGEST, nullptr, req(16, REQ_INT_RANGE)},
    {1, INT32_LARGEST, nullptr, req(35, REQ_INT_RANGE)},
    {0, INT32_LARGEST, nullptr, req(23, REQ_INT_RANGE)},
    {0, INT32_LARGEST, nullptr, req(24, REQ_INT_RANGE)},
    {0, 35791394, nullptr, req(27, REQ_INT_RANGE)},
    {1, INT32_LARGEST, nullptr, req(8, REQ_INT_RANGE)},
    {1, INT32_LARGEST, nullptr, req(9, REQ_INT_RANGE)},
    {0, 1023, nullptr, req(10, REQ_MAX_LENGTH)},
    {1, INT32_LARGEST, nullptr, req(11, REQ_INT_RANGE)},
    {1, INT32_LARGEST, nullptr, req(39, REQ_INT_RANGE)},
    {1, INT32_LARGEST, nullptr, req(0, REQ_INT_RANGE)},
    {0, 0, nullptr, req(6, REQ_ON_OFF)},
    {0, 0, nullptr, req(13, REQ_ON_OFF)},
    {0, 0, nullptr, req(14, REQ_ON_OFF)},
    {0, 0, nullptr, req(37, REQ_ON_OFF)},
    {0, 0, nullptr, req(42, REQ_ON_OFF)},
    {0, 0, nullptr, req(18, REQ_ON_OFF)},
    {5, 9999, nullptr, req(4, REQ_INT_RANGE)},
    {1000000, 100000000, nullptr, req(3, REQ_INT_RANGE)},
    {0, 11, BREVIK_LEVEL_ITEMS.data(), req(1, REQ_MEMBER_OF_SET)},
    {0, INT32_LARGEST, nullptr, req(25, REQ_INT_RANGE)},
    {0, INT32_LARGEST, nullptr, req(26, REQ_INT_RANGE)},
    {0, INT32_LARGEST, nullptr, req(2, REQ_INT_RANGE)},
    {0, INT32_LARGEST, nullptr, req(5, REQ_INT_RANGE)},
    {0, 0, nullptr, req(36, REQ_ON_OFF)},
    {0, 0, nullptr, req(32, REQ_ON_OFF)},
    {1, INT32_LARGEST, nullptr, req(33, REQ_INT_RANGE)},
    {0, 0, nullptr, req(34, REQ_POSITIVE_NUMBER)},
    {0, 0, nullptr, req(29, REQ_PASSWORD)},
    {0, 65535, nullptr, req(30, REQ_INT_RANGE)},
    {0, 1023, nullptr, req(31, REQ_MAX_LENGTH)},
    {0, 26, ZARND_DELETE_ITEMS.data(), req(12, REQ_MEMBER_OF_SET)},
}};

inline constexpr std::array<int, 2> zarncfg_required_options = {IDX_BRANCH, IDX_SUFFIX};

// Configuration files backed up before a run and restored after a failed one.
inline constexpr std::array<const char*, 5> ZARNCFG_CONF_FILES = {
    ZARND_CONF, BREVIK_CONF, ZARNAUDITD_CONF, ZARNWDD_CONF, ZARNLRD_CONF,
};

// Configuration files the current configuration is read from, in order.
inline constexpr std::array<const char*, 6> ZARNCFG_SNIFF_FILES = {
    ZARND_CONF, BREVIK_CONF, ZARNAUDITD_CONF, ZARNWDD_CONF, ZARNEVCD_CONF, ZARNLRD_CONF,
};

inline constexpr const char* ZARNCFG_WORK_DIR = "/var/zarn/zarncfg";
inline constexpr const char* ZARN_CERTS_DIR = "/var/zarn/certs";

// The SSL configuration tool and where it keeps the daemons' keys.
inline constexpr const char* CERTBIND_TOOL = "/opt/Varden/bin/certbind";
inline constexpr const char* CERTBIND_KEY_DIR = ZARN_CERTS_DIR;

// The option name without its leading "-".
constexpr std::string_view bare_option_name(const ConfigOptionDef& def) { return std::string_view(def.name).substr(1); }
