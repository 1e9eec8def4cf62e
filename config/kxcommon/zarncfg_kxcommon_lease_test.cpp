// The lease periods of a run, as the Varden runtime configuration sets them.
#include <gtest/gtest.h>

#include <fstream>

#include "sys_testing.h"
#include "zarncfg_kxcommon.h"

namespace {

struct TimingCase {
  const char* conf;  // none: no file at all
  long renewal_ms;
  long wait_limit_ms;
};

const TimingCase kCases[] = {
    {nullptr, 10000, 1800000},
    {"[vdrte]\nconfigured = yes\n", 10000, 1800000},
    {"[kxadmin]\nstore = /var/Varden/policy.db\n", 10000, 1800000},
    {"[kxadmin]\nlease-renewal-ms = 1000\n", 1000, 1800000},
    {"[kxadmin]\nlease-renewal-ms = 250\nlease-wait-ms = 60000\n", 250, 60000},
    // Values that are no positive number keep the defaults.
    {"[kxadmin]\nlease-renewal-ms = 0\nlease-wait-ms = -5\n", 10000, 1800000},
    {"[kxadmin]\nlease-renewal-ms = 10s\nlease-wait-ms =\n", 10000, 1800000},
    // The entries belong to stanza kxadmin only.
    {"[vdrte]\nlease-renewal-ms = 1000\n", 10000, 1800000},
};

TEST(LeaseTiming, ReadFromStanzaKxadminWithDefaults) {
  for (const TimingCase& c : kCases) {
    sys::ScratchDir dir("zarn-lease-timing");
    const std::string path = dir.file("vd.conf");
    if (c.conf != nullptr) std::ofstream(path) << c.conf;
    const LeaseTiming timing = zarncfg_lease_timing(path);
    EXPECT_EQ(timing.renewal_ms, c.renewal_ms) << (c.conf ? c.conf : "(no file)");
    EXPECT_EQ(timing.wait_limit_ms, c.wait_limit_ms) << (c.conf ? c.conf : "(no file)");
    EXPECT_EQ(timing.expiry_ms(), 3 * c.renewal_ms);
  }
}

}  // namespace
