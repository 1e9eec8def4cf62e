// The library's status codes and the remembered text of the last failure
// of each, which stzErrorText hands out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "vd_svc.h"

inline constexpr vd_status_t STZ_E_OPEN = 0x1D5A0001;       // file missing, unreadable or not a regular file
inline constexpr vd_status_t STZ_E_SYNTAX = 0x1D5A0002;     // malformed file
inline constexpr vd_status_t STZ_E_WRITE = 0x1D5A0003;      // write-back failed; the file is as it was
inline constexpr vd_status_t STZ_E_ARGUMENT = 0x1D5A0004;   // bad mode, handle, or a name or value that cannot be written
inline constexpr vd_status_t STZ_E_NO_STANZA = 0x1D5A0005;  // entry added with no current stanza
inline constexpr vd_status_t STZ_E_NOT_FOUND = 0x1D5A0006;  // entry to delete is absent
inline constexpr vd_status_t STZ_E_READ_ONLY = 0x1D5A0007;  // edit through a handle opened for reading

namespace stz {

inline constexpr std::size_t kMaxErrorText = 159;

// Records `subject` + `detail` as the text of `code` and returns `code`.
vd_status_t rememberFailure(vd_status_t code, std::string_view subject, std::string_view detail);

// One line of at most kMaxErrorText bytes.  Control characters become '?';
// a long subject (a path) loses its start first, so that the line number
// and the reason survive; no cut splits a UTF-8 sequence.
std::string fitOneLine(std::string_view subject, std::string_view detail);

// A name as shown inside an error text: quoted and shortened.
std::string quoteName(std::string_view name);

}  // namespace stz
