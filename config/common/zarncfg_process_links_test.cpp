#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "zarncfg_process.h"
#include "zarncfg_test_support.h"

namespace {

namespace fs = std::filesystem;

class SoftLinks : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    target_ = make_file("target");
  }
  std::string entry(const fs::path& target, const fs::path& link) const { return target.string() + " " + link.string(); }
  void configure(const std::vector<std::string>& entries, int enable, vd_msgid_t& status) {
    const std::vector<std::string_view> links(entries.begin(), entries.end());
    testing::internal::CaptureStdout();
    zarncfg_configure_soft_links(links, enable, status);
    printed_ = testing::internal::GetCapturedStdout();
  }
  bool links_to_target(const fs::path& link) const {
    return fs::is_symlink(link) && fs::read_symlink(link) == target_;
  }

  fs::path target_;
  std::string printed_;
};

TEST_F(SoftLinks, ReplacesFilesAndOlderLinks) {
  const fs::path as_file = make_file("as-file");
  const fs::path old_link = root_ / "old-link";
  fs::create_symlink("/elsewhere", old_link);
  const fs::path fresh = root_ / "with blank";
  vd_msgid_t status = 1;
  configure({entry(target_, as_file), entry(target_, old_link), entry(target_, fresh)}, 1, status);
  EXPECT_EQ(status, 0u) << printed_;
  for (const auto& link : {as_file, old_link, fresh}) EXPECT_TRUE(links_to_target(link)) << link;
}

TEST_F(SoftLinks, MissingTargetIsReportedAndTheRestAreMade) {
  const fs::path missing = root_ / "missing";
  vd_msgid_t status = 0;
  configure({entry(missing, root_ / "l1"), entry(target_, root_ / "l2")}, 1, status);
  EXPECT_EQ(status, msg_id(1311));
  EXPECT_EQ(printed_, "ZRNCF1311E   The soft link to " + missing.string() +
                          " could not be created because it does not exist. \n");
  EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "l1")));
  EXPECT_TRUE(links_to_target(root_ / "l2"));
}

TEST_F(SoftLinks, FailedCommandIsReportedAndALaterSuccessKeepsTheStatus) {
  const std::string bad = entry(target_, root_ / "no-dir" / "l");
  vd_msgid_t status = 0;
  configure({bad, entry(target_, root_ / "l2")}, 1, status);
  EXPECT_EQ(status, msg_id(1313));
  EXPECT_EQ(printed_, "ZRNCF1313E   The soft link of files " + bad + " could not be created.\n");
  EXPECT_TRUE(links_to_target(root_ / "l2"));
}

TEST_F(SoftLinks, DisableOnlyRemoves) {
  const fs::path link = root_ / "l";
  fs::create_symlink(target_, link);
  vd_msgid_t status = 1;
  configure({entry(target_, link), entry(target_, root_ / "never-there")}, 0, status);
  EXPECT_EQ(status, 0u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "never-there")));
}

TEST_F(SoftLinks, EntryWithoutBlankStopsTheList) {
  vd_msgid_t status = 0;
  configure({"no-blank", entry(target_, root_ / "after")}, 1, status);
  EXPECT_EQ(status, msg_id(1389));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "after")));
}

TEST_F(SoftLinks, EmptyEntryEndsTheList) {
  vd_msgid_t status = 1;
  configure({entry(target_, root_ / "first"), "", entry(target_, root_ / "after")}, 1, status);
  EXPECT_EQ(status, 0u);
  EXPECT_TRUE(links_to_target(root_ / "first"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "after")));
}

}  // namespace
