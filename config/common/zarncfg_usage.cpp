// Information requests.  Request words are matched exactly, before and
// independently of the option abbreviations, and the leftmost wins.
#include "zarncfg_usage.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "brv_component.h"
#include "zarncfg_svc.h"
#include "zarncfg_version.h"

namespace {

constexpr std::array<std::string_view, 6> Usages = {"-?", "-u", "-us", "-usa", "-usag", "-usage"};
constexpr std::array<std::string_view, 8> Versions = {"-V",     "-v",      "-ve",      "-ver",
                                                      "-vers", "-versi", "-versio", "-version"};
constexpr std::array<std::string_view, 4> Helps = {"-h", "-he", "-hel", "-help"};
constexpr std::array<std::string_view, 10> Operations = {"-o",      "-op",      "-ope",      "-oper",      "-opera",
                                                         "-operat", "-operati", "-operatio", "-operation",
                                                         "-operations"};

template <std::size_t N>
bool is_one_of(const std::string& arg, const std::array<std::string_view, N>& words) {
  return std::find(words.begin(), words.end(), arg) != words.end();
}

void show_option(const ConfigOptionDef& option) {
  vd_printf(msg_id(1), option.name);
  vd_printf(option.help);
}

// Whether the argument names the option by its minimum abbreviation; what
// follows the abbreviation is not compared.
bool abbreviates(const std::string& arg, const ConfigOptionDef& option) {
  const std::size_t length = option.flags & OPT_MIN_ABBREV_MASK;
  return arg.size() >= length && std::strncmp(arg.c_str(), option.name, length) == 0;
}

}  // namespace

void zarncfg_request_usage(std::span<const std::string> args, vd_msgid_t usage_message,
                           std::span<const ConfigOptionDef> options, int min_args, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_request_usage");
  status = 0;
  const bool too_few = static_cast<int>(args.size()) < min_args;
  for (const std::string& arg : args) {
    if (too_few || is_one_of(arg, Usages)) {
      status = usage_message;
    } else if (is_one_of(arg, Versions)) {
      const std::string program = brv_get_progname();
      brv_display_version_only2(program);
      vd_printf(msg_id(13));
      brv_display_version_and_copyright(program);
      status = msg_id(13);
    } else if (is_one_of(arg, Helps)) {
      zarncfg_display_help(args, options);
      status = msg_id(13);
    } else if (is_one_of(arg, Operations)) {
      zarncfg_display_operations(options);
      status = msg_id(13);
    }
    if (status != 0) return;
  }
}

void zarncfg_display_help(std::span<const std::string> args, std::span<const ConfigOptionDef> options) {
  FunctionTrace scope("zarncfg_display_help");
  for (const std::string& arg : args) {
    if (arg.empty() || arg[0] != '-') continue;
    for (const ConfigOptionDef& option : options) {
      if (args.size() == 2) {
        show_option(option);
      } else if (arg != "-help" && abbreviates(arg, option)) {
        show_option(option);
      }
    }
  }
}

void zarncfg_display_operations(std::span<const ConfigOptionDef> options) {
  FunctionTrace scope("zarncfg_display_operations");
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (i > 0 && i % 3 == 0) std::fputs("\n", stdout);
    std::printf("%-20s ", options[i].name);
  }
}
