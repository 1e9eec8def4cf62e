#include "zarncfg_run_record.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "zarncfg_test_support.h"

namespace {

const RunTag kTag{"zarnhost", 4242, 1700000000};
const RunTag kEarlier{"zarnhost", 17, 1690000000};

RunRecord full_record() {
  RunRecord record;
  record.tag = kTag;
  record.configured_before = false;
  record.backed_up = {"/opt/zarn/etc/zarnd.conf", "/opt/zarn/etc/brevik.conf"};
  record.absent = {"/opt/zarn/etc/zarnlrd.conf"};
  record.registration = true;
  record.lrd = LrdChange::register_daemon;
  record.policy_files = {"/opt/zarn/etc/brevik.once-only", "/opt/zarn/etc/brevik.per-policy"};
  record.unfinished = {UnfinishedWork{kEarlier, true, LrdChange::unregister_daemon, {"/opt/zarn/etc/brevik.per-machine"}}};
  return record;
}

TEST(RunRecord, WrittenTextIsTheDocumentedFormat) {
  EXPECT_EQ(format_run_record(full_record()),
            "zarncfg-run-record 1\n"
            "run zarnhost 4242 1700000000\n"
            "configured-before no\n"
            "backed-up /opt/zarn/etc/zarnd.conf\n"
            "backed-up /opt/zarn/etc/brevik.conf\n"
            "absent /opt/zarn/etc/zarnlrd.conf\n"
            "registration zarnd\n"
            "lrd register\n"
            "policy /opt/zarn/etc/brevik.once-only\n"
            "policy /opt/zarn/etc/brevik.per-policy\n"
            "unfinished zarnhost 17 1690000000 registration zarnd\n"
            "unfinished zarnhost 17 1690000000 lrd unregister\n"
            "unfinished zarnhost 17 1690000000 policy /opt/zarn/etc/brevik.per-machine\n");
}

TEST(RunRecord, ReadsBackWhatItWrote) {
  RunRecord unknown;
  unknown.tag = kTag;
  RunRecord only_unfinished;
  only_unfinished.unfinished = {UnfinishedWork{kEarlier, false, LrdChange::register_daemon, {}},
                                UnfinishedWork{kTag, true, LrdChange::none, {}}};
  for (const RunRecord& record : {full_record(), unknown, only_unfinished, RunRecord{}}) {
    const std::optional<RunRecord> read = parse_run_record(format_run_record(record));
    ASSERT_TRUE(read) << format_run_record(record);
    EXPECT_EQ(*read, record) << format_run_record(record);
  }
}

TEST(RunRecord, ASettledRunLeavesOnlyItsUndoRecordsToDrop) {
  RunRecord settled = full_record();
  settled.unfinished.clear();
  settled.settled = true;
  const std::string text = format_run_record(settled);
  EXPECT_EQ(text.substr(text.rfind("\npolicy ") + 1), "policy /opt/zarn/etc/brevik.per-policy\nsettled\n");
  EXPECT_EQ(settled.password_work(), (UnfinishedWork{kTag, false, LrdChange::none, {}, true}));
  settled.policy_files.clear();
  EXPECT_TRUE(settled.password_work().empty()) << "no policy, no records to drop";

  RunRecord carried;
  carried.unfinished = {UnfinishedWork{kTag, false, LrdChange::none, {}, true}};
  EXPECT_EQ(format_run_record(carried), "zarncfg-run-record 1\nunfinished zarnhost 4242 1700000000 settled\n");
  for (const RunRecord& record : {settled, carried}) {
    EXPECT_EQ(parse_run_record(format_run_record(record)), record) << format_run_record(record);
  }
}

TEST(RunRecord, AnythingElseIsNoRecord) {
  for (const char* text : {"", "zarncfg-run-record 2\n", "zarncfg-run-record 1\nrun zarnhost x 1\n",
                           "zarncfg-run-record 1\nlrd sideways\n", "zarncfg-run-record 1\nregistration zarnlrd\n",
                           "zarncfg-run-record 1\nconfigured-before maybe\n", "zarncfg-run-record 1\nbacked-up\n",
                           "zarncfg-run-record 1\nunfinished zarnhost 17 registration\n",
                           "zarncfg-run-record 1\npassword Secr3t\n", "zarncfg-run-record 1\nsettled yes\n"}) {
    EXPECT_FALSE(parse_run_record(text)) << text;
  }
}

class RunRecordOnDisk : public ScratchDirTest {
 protected:
  std::string path() const { return (root_ / "zarncfg.run").string(); }
  std::string on_disk() const {
    std::ifstream in(path());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void TearDown() override {
    zarncfg_end_run_record();
    ScratchDirTest::TearDown();
  }
};

TEST_F(RunRecordOnDisk, EachNoteIsOnDiskBeforeItReturns) {
  vd_msgid_t status = 0;
  RunRecord record;
  record.tag = kTag;
  record.unfinished = {UnfinishedWork{kEarlier, true, LrdChange::none, {}}};
  ASSERT_TRUE(zarncfg_begin_run_record(record, status, path()));
  EXPECT_EQ(parse_run_record(on_disk()), record);
  ASSERT_TRUE(zarncfg_note_registration(status));
  ASSERT_TRUE(zarncfg_note_lrd_change(LrdChange::unregister_daemon, status));
  ASSERT_TRUE(zarncfg_note_policy_file("/opt/zarn/etc/brevik.once-only", status));
  record.registration = true;
  record.lrd = LrdChange::unregister_daemon;
  record.policy_files = {"/opt/zarn/etc/brevik.once-only"};
  EXPECT_EQ(parse_run_record(on_disk()), record);
  EXPECT_EQ(status, 0u);
  struct stat info {};
  ASSERT_EQ(stat(path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(RunRecordOnDisk, AnEndedRunLeavesOnlyEarlierUnfinishedWork) {
  vd_msgid_t status = 0;
  RunRecord record = full_record();
  ASSERT_TRUE(zarncfg_begin_run_record(record, status, path()));
  zarncfg_end_run_record();
  EXPECT_EQ(zarncfg_current_run_record(), nullptr);
  RunRecord left;
  left.unfinished = record.unfinished;
  EXPECT_EQ(parse_run_record(on_disk()), left);
  record.unfinished.clear();
  ASSERT_TRUE(zarncfg_begin_run_record(record, status, path()));
  zarncfg_end_run_record();
  EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(RunRecordOnDisk, ReadingTellsNoneFromUnreadable) {
  RunRecord record;
  EXPECT_EQ(zarncfg_read_run_record(record, path()), RecordOnDisk::none);
  std::ofstream(path()) << "not a record\n";
  EXPECT_EQ(zarncfg_read_run_record(record, path()), RecordOnDisk::unreadable);
  std::ofstream(path()) << format_run_record(full_record());
  EXPECT_EQ(zarncfg_read_run_record(record, path()), RecordOnDisk::read);
  EXPECT_EQ(record, full_record());
}

TEST_F(RunRecordOnDisk, ANoteThatCannotBeWrittenStopsTheStep) {
  vd_msgid_t status = 0;
  const std::string unwritable = (root_ / "no-such-folder" / "zarncfg.run").string();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(zarncfg_begin_run_record(full_record(), status, unwritable));
  EXPECT_FALSE(zarncfg_note_registration(status));
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("ZRNCF1401E   The run record " + unwritable +
                                                            " could not be written: mkostemp: No such file or "
                                                            "directory.\n",
                                                        0),
            0u);
  EXPECT_EQ(status, msg_id(1401));
}

TEST(RunRecord, NotesOutsideARunDoNothing) {
  vd_msgid_t status = 0;
  EXPECT_EQ(zarncfg_current_run_record(), nullptr);
  EXPECT_TRUE(zarncfg_note_registration(status));
  EXPECT_TRUE(zarncfg_note_policy_file("/opt/zarn/etc/brevik.once-only", status));
  EXPECT_EQ(status, 0u);
}

}  // namespace
