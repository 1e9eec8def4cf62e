#include "hostsim/create.h"

#include <gtest/gtest.h>

#include "file_util.h"
#include "host_layout.h"
#include "sys_testing.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

class CreateHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    make_directory(product(), 0755);
    fs::create_directories(product() / "opt/zarn/bin");
    write_new_file(product() / "opt/zarn/bin/zarncfg", "binary", 0750);
    options_.product = product();
  }

  fs::path product() const { return tmp_ / "stage"; }
  fs::path host() const { return tmp_ / "host"; }

  sys::ScratchDir tmp_{"hostsim-test"};
  HostOptions options_;
};

TEST_F(CreateHostTest, LaysOutTheSystemFiles) {
  options_.hostname = "alpha";
  create_host(host(), options_);

  EXPECT_EQ(read_text_file(host() / "etc/hostname"), "alpha\n");
  EXPECT_NE(read_text_file(host() / "etc/passwd").find("\nbrevik:x:301:301:"), std::string::npos);
  EXPECT_NE(read_text_file(host() / "etc/group").find("\nbrevik:x:301:"), std::string::npos);
  EXPECT_EQ(read_text_file(host() / "opt/Varden/etc/vd.conf"), "[vdrte]\nconfigured = yes\n");
  EXPECT_EQ(sys::mode_of(host() / "tmp"), 01777u);
  for (const char* dir : {"var/zarn/zarncfg", "var/zarn/log", "var/zarn/certs", "var/zarn/run", "var/Varden",
                          "etc/rc.d/init.d", "etc/rc.d/rc0.d", "etc/rc.d/rc6.d", "usr", "dev", "proc", "root"}) {
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(host() / dir))) << dir;
  }
  EXPECT_TRUE(fs::exists(host() / layout::kMarkerFile));
}

TEST_F(CreateHostTest, BinIsARealDirectoryLinkingTheSystemTools) {
  create_host(host(), options_);

  EXPECT_TRUE(fs::is_directory(fs::symlink_status(host() / "bin")));
  EXPECT_EQ(fs::read_symlink(host() / "bin/sh"), "/usr/bin/sh");
  for (const char* name : {"lib", "lib64", "sbin"}) {
    EXPECT_EQ(fs::read_symlink(host() / name), fs::path("usr") / name) << name;
  }
}

TEST_F(CreateHostTest, CopiesTheProduct) {
  create_host(host(), options_);

  EXPECT_EQ(read_text_file(host() / "opt/zarn/bin/zarncfg"), "binary");
  EXPECT_EQ(sys::mode_of(host() / "opt/zarn/bin/zarncfg"), 0750u);
}

TEST_F(CreateHostTest, WritesRpmOnlyWhenAVersionIsGiven) {
  create_host(host(), options_);
  EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(host() / "bin/rpm")));

  options_.vdrte_version = "3.7.0";
  create_host(tmp_ / "second", options_);
  const fs::path rpm = tmp_ / "second/bin/rpm";
  EXPECT_EQ(sys::mode_of(rpm), 0755u);
  EXPECT_NE(read_text_file(rpm).find("echo VDRTE-VD-3.7.0-0\n"), std::string::npos);
}

TEST_F(CreateHostTest, RecordsTheSharedVardenDirectory) {
  options_.shared_varden = tmp_ / "shared/varden";
  create_host(host(), options_);

  EXPECT_TRUE(fs::is_directory(tmp_ / "shared/varden"));
  EXPECT_EQ(read_text_file(host() / layout::kSharedVardenFile), (tmp_ / "shared/varden").string() + "\n");
}

// A server's socket folder is only named, never made: a missing one is a
// mistake that would otherwise show up only when a run cannot connect.
TEST_F(CreateHostTest, RecordsAnExistingPolicyServerSocketFolder) {
  options_.policy_server_socket = tmp_ / "pg";
  EXPECT_THROW(create_host(host(), options_), std::runtime_error);
  EXPECT_FALSE(fs::exists(tmp_ / "pg"));

  make_directory(tmp_ / "pg", 0755);
  create_host(tmp_ / "second", options_);
  EXPECT_TRUE(fs::is_directory(tmp_ / "second" / layout::kSocketDir));
  EXPECT_EQ(read_text_file(tmp_ / "second" / layout::kServerSocketFile), (tmp_ / "pg").string() + "\n");
}

TEST_F(CreateHostTest, AcceptsAnEmptyExistingDirectory) {
  make_directory(host(), 0700);
  EXPECT_NO_THROW(create_host(host(), options_));
}

TEST_F(CreateHostTest, RefusesADirectoryWithContents) {
  make_directory(host(), 0755);
  write_new_file(host() / "precious", "", 0644);

  EXPECT_THROW(create_host(host(), options_), std::runtime_error);
  EXPECT_EQ(fs::directory_iterator(host())->path().filename(), "precious");
}

struct BadOptionsCase {
  const char* name;
  void (*spoil)(HostOptions&, const fs::path& tmp);
};

void PrintTo(const BadOptionsCase& c, std::ostream* os) { *os << c.name; }

class CreateHostRefuses : public CreateHostTest, public ::testing::WithParamInterface<BadOptionsCase> {};

TEST_P(CreateHostRefuses, BadOptionsBeforeWritingAnything) {
  GetParam().spoil(options_, tmp_.path());
  EXPECT_THROW(create_host(host(), options_), std::runtime_error);
  EXPECT_FALSE(fs::exists(host()));
}

INSTANTIATE_TEST_SUITE_P(
    Options, CreateHostRefuses,
    ::testing::Values(
        BadOptionsCase{"EmptyHostname", [](HostOptions& o, const fs::path&) { o.hostname = ""; }},
        BadOptionsCase{"HostnameWithSlash", [](HostOptions& o, const fs::path&) { o.hostname = "a/b"; }},
        BadOptionsCase{"LongHostname", [](HostOptions& o, const fs::path&) { o.hostname = std::string(65, 'h'); }},
        BadOptionsCase{"VersionWithQuote", [](HostOptions& o, const fs::path&) { o.vdrte_version = "3'7"; }},
        BadOptionsCase{"MissingProduct", [](HostOptions& o, const fs::path& t) { o.product = t / "nowhere"; }},
        BadOptionsCase{"ProductUnderUsr",
                       [](HostOptions& o, const fs::path&) { fs::create_directories(o.product / "usr/bin"); }},
        BadOptionsCase{"ProductUnderSbin",
                       [](HostOptions& o, const fs::path&) { fs::create_directories(o.product / "sbin"); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hostsim
