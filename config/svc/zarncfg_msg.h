// Message identifiers of the program's catalog: message n is 0x357D5000 + n.
#pragma once

#include <cstdint>
#include <span>

#include "vd_svc.h"

inline constexpr vd_msgid_t ZARNCFG_MSG_BASE = 0x357D5000;

constexpr vd_msgid_t msg_id(unsigned number) { return ZARNCFG_MSG_BASE + number; }

// Status value of a run that served an information request.
inline constexpr vd_msgid_t STATUS_INFO_SERVED = static_cast<vd_msgid_t>(-100);

// The catalog and the subcomponent table (data modules).
extern const std::span<const vd_msg_entry> zarncfg_svc_msg_table;
extern const std::span<const vd_svc_subcomponent> zarncfg_svc_table;

// Subcomponent indexes.
inline constexpr int SUB_GENERAL = 0;
inline constexpr int SUB_TRACE = 1;
inline constexpr int SUB_UTIL = 2;
