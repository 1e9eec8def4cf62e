// Response codes of our policy store.  0x132120C8 (wrong password) is the
// policy server's own; the others are numbered here and listed in
// docs/policy-server.md.
#pragma once

#include <cstdint>

#include "kxadmin.h"

namespace kx {

inline constexpr std::uint32_t CODE_BAD_PASSWORD = KXADMIN_CODE_BAD_PASSWORD;
inline constexpr std::uint32_t CODE_STORE_UNAVAILABLE = 0x13548001;  // missing, unreadable or not a store
inline constexpr std::uint32_t CODE_BAD_ARGUMENT = 0x13548002;       // absent or malformed argument
inline constexpr std::uint32_t CODE_NO_CONTEXT = 0x13548003;         // call made without a context
inline constexpr std::uint32_t CODE_EXISTS = 0x13548004;             // creating what already exists
inline constexpr std::uint32_t CODE_NOT_FOUND = 0x13548005;          // the object the call names is missing
inline constexpr std::uint32_t CODE_REFERENCE_MISSING = 0x13548006;  // another object the call names is missing
inline constexpr std::uint32_t CODE_NOT_PRESENT = 0x13548007;        // entry, member or attachment to remove is missing
inline constexpr std::uint32_t CODE_STORE_ERROR = 0x13548008;        // the database failed (busy too long, I/O)
inline constexpr std::uint32_t CODE_INJECTED_FAULT = 0x13548009;     // default code of an injected fault
inline constexpr std::uint32_t CODE_LEASE_HELD = KXADMIN_CODE_LEASE_HELD;         // another live run holds the lease
inline constexpr std::uint32_t CODE_LEASE_LOST = KXADMIN_CODE_LEASE_LOST;         // the run does not hold the lease (any more)

}  // namespace kx
