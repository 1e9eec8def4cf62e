// The subcomponent table: a row's position is the subcomponent index that
// every logging call passes.  Subcomponents 3 to 6 are registered for the
// product's other configuration tools.
#include "zarncfg_msg.h"

namespace {

constexpr vd_svc_subcomponent kSubcomponents[] = {
    {"zarncfg", "General Zarn configuration facilities", msg_id(2863), 0},
    {"zarncfg_trace", "Trace Zarn configuration facilities", msg_id(2864), 0},
    {"zarncfg_util", "Utility Zarn configuration facilities", msg_id(2865), 0},
    {"zarncfg_help", "Help Zarn configuration facilities", msg_id(2866), 0},
    {"zarncfg_bkup", "General Zarn backup facilities", msg_id(2867), 0},
    {"zarncfg_cakdb", "Zarn keyfile generation facilities", msg_id(2868), 0},
    {"zarncfg_evc", "Zarn EVC configuration facilities", msg_id(2869), 0},
    {nullptr, nullptr, 0, 0},
};

}  // namespace

const std::span<const vd_svc_subcomponent> zarncfg_svc_table(kSubcomponents);
