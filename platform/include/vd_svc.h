// Serviceability library: numbered messages on standard output and in
// routed log files.  This header is the whole contract the program relies
// on; platform/svc is our implementation of it.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

using vd_msgid_t = std::uint32_t;
using vd_status_t = std::uint32_t;

// Attribute words of a log record.
inline constexpr std::uint32_t VD_ATTR_ERROR = 0x20;
inline constexpr std::uint32_t VD_ATTR_WARNING = 0x30;
inline constexpr std::uint32_t VD_ATTR_NOTICE = 0x40;
inline constexpr std::uint32_t VD_ATTR_FREE_TEXT = 0x8000;

struct vd_svc_subcomponent {
  const char* name;
  const char* description;
  vd_msgid_t description_id;
  std::uint32_t level;
};

struct vd_msg_entry {
  vd_msgid_t id;
  const char* text;
};

struct vd_svc_component;
using vd_svc_handle_t = const vd_svc_component*;

// One insert of a message.  The formatter checks each insert against its
// conversion at run time, so a mismatch shows as a marker, never as
// undefined behaviour.
class vd_insert {
 public:
  using value_type = std::variant<std::monostate, std::string_view, long long, unsigned long long>;

  vd_insert(std::string_view s) : value_(s) {}
  vd_insert(const std::string& s) : value_(std::string_view(s)) {}
  vd_insert(const char* s) {
    if (s != nullptr) value_ = std::string_view(s);
  }
  template <std::signed_integral T>
  vd_insert(T v) : value_(static_cast<long long>(v)) {}
  template <std::unsigned_integral T>
  vd_insert(T v) : value_(static_cast<unsigned long long>(v)) {}

  const value_type& value() const { return value_; }

 private:
  value_type value_;
};

// Marker texts shown in place of an insert that cannot be formatted.
inline constexpr std::string_view VD_BAD_INSERT = "<?insert>";
inline constexpr std::string_view VD_MISSING_INSERT = "<?missing>";

// printf-style formatting of %s, %d, %i, %u, %x, %X, %ld, %lu, %lx, %c and
// %% with flags, width and precision (as in "%-20s" or "%3.3s").
std::string vd_format(std::string_view format, std::span<const vd_insert> inserts);

vd_svc_handle_t vd_svc_register(std::span<const vd_svc_subcomponent> table, std::string_view component,
                                vd_status_t& status);
void vd_msg_define_msg_table(std::span<const vd_msg_entry> table, std::size_t count, vd_status_t& status);

// route: "<SEVERITY>:TEXTFILE:<path>", SEVERITY one of NOTICE, FATAL, ERROR, WARNING.
void vd_svc_routing(std::string_view route, vd_status_t& status);

void vd_svc_printf_withfile_v(vd_svc_handle_t handle, std::string_view source_file, int source_line,
                              std::string_view insert_types, int subcomponent, std::uint32_t attributes,
                              vd_msgid_t id, std::span<const vd_insert> inserts);

template <class... Inserts>
void vd_svc_printf_withfile(vd_svc_handle_t handle, std::string_view source_file, int source_line,
                            std::string_view insert_types, int subcomponent, std::uint32_t attributes,
                            vd_msgid_t id, const Inserts&... inserts) {
  const vd_insert list[] = {vd_insert(inserts)..., vd_insert(std::string_view())};
  vd_svc_printf_withfile_v(handle, source_file, source_line, insert_types, subcomponent, attributes, id,
                           std::span<const vd_insert>(list, sizeof...(Inserts)));
}

void vd_printf_v(vd_msgid_t id, std::span<const vd_insert> inserts);

template <class... Inserts>
void vd_printf(vd_msgid_t id, const Inserts&... inserts) {
  const vd_insert list[] = {vd_insert(inserts)..., vd_insert(std::string_view())};
  vd_printf_v(id, std::span<const vd_insert>(list, sizeof...(Inserts)));
}

// The message's text without inserts, or nothing for an unknown identifier.
std::optional<std::string> vd_sprintf(vd_msgid_t id);

// The library's text for one of its own status codes (at most 159 characters).
std::string vd_error_inq_text(vd_status_t status);
