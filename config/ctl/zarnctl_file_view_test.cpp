#include "zarnctl_file_view.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "sys_testing.h"

namespace {

namespace fs = std::filesystem;

class FileViewTest : public testing::Test {
 protected:
  std::string at(const std::string& name) const { return (scratch_.path() / name).string(); }
  void write(const std::string& name, const std::string& text) const { std::ofstream(at(name)) << text; }
  // Everything in the scratch directory, to show that the disk never changes.
  std::string snapshot() const {
    std::string all;
    for (const auto& item : fs::directory_iterator(scratch_.path())) {
      all += item.path().filename().string() + "=" + read_path_state(item.path().string()).text + ";";
    }
    return all;
  }

  sys::ScratchDir scratch_{"file-view-test"};
  FileView view_;
};

TEST_F(FileViewTest, StanzaEditsAreSeenByLaterStepsAndNeverWritten) {
  write("zarnd.conf", "[zarnd]\nport = 1\n");
  const std::string disk = snapshot();
  vd_status_t status = 0;
  for (const char* entry : {"a", "b"}) {
    auto file = view_.open_stanza(at("zarnd.conf"), status);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(stzAddStanza(*file, "zarncfg"), 1);
    ASSERT_EQ(stzAddEntry(*file, entry, std::string_view("on")), 1);
    ASSERT_EQ(view_.close_stanza(std::move(file)), 0);
  }
  auto created = view_.open_stanza(at("new.conf"), status);
  ASSERT_NE(created, nullptr);
  ASSERT_EQ(view_.close_stanza(std::move(created)), 0);
  EXPECT_EQ(snapshot(), disk);
  const std::vector<PathChange> changes = view_.changes();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].path, at("new.conf"));
  EXPECT_EQ(changes[0].before.kind, PathState::Kind::absent);
  EXPECT_EQ(changes[0].after.kind, PathState::Kind::file);
  EXPECT_EQ(changes[1].after.text, "[zarnd]\nport = 1\n\n[zarncfg]\na = on\nb = on\n");
}

TEST_F(FileViewTest, RenamesLinksAndRemovalsAreShownOnceAndNeverDone) {
  write("msg.log", "old lines\n");
  write("kbrevik", "#!/bin/sh\n");
  fs::create_symlink(at("kbrevik"), at("K13kbrevik"));
  const std::string disk = snapshot();
  view_.remove(at("msg.log.bak"));
  ASSERT_TRUE(view_.rename(at("msg.log"), at("msg.log.bak")));
  EXPECT_FALSE(view_.exists(at("msg.log")));
  EXPECT_FALSE(view_.rename(at("missing"), at("elsewhere")));
  view_.remove(at("K13kbrevik"));
  view_.make_link(at("S87kbrevik"), at("kbrevik"));
  EXPECT_TRUE(view_.exists(at("S87kbrevik")));
  view_.make_link(at("S88brevik"), at("brevik"));
  EXPECT_FALSE(view_.exists(at("S88brevik")));
  view_.copy(at("kbrevik"), at("copy"));
  EXPECT_EQ(snapshot(), disk);

  const std::vector<PathChange> changes = view_.changes();
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[0].path, at("K13kbrevik"));
  EXPECT_EQ(changes[0].after.kind, PathState::Kind::absent);
  EXPECT_EQ(changes[1].path, at("S87kbrevik"));
  EXPECT_EQ(changes[1].after.target, at("kbrevik"));
  EXPECT_EQ(changes[2].path, at("S88brevik"));
  EXPECT_EQ(changes[3].path, at("copy"));
  EXPECT_EQ(changes[3].after.text, "#!/bin/sh\n");
  EXPECT_EQ(changes[4].path, at("msg.log.bak"));
  EXPECT_EQ(changes[4].moved_from, at("msg.log"));
}

// Scratch files of a plan are readable by their name and never on disk.
TEST_F(FileViewTest, ScratchFilesStayInMemory) {
  std::string path;
  const sys::UniqueFd file = view_.scratch_file(at("pw.XXXXXX"), path);
  ASSERT_TRUE(file.valid());
  ASSERT_TRUE(sys::write_all(file.get(), "secret\n"));
  EXPECT_EQ(read_path_state(path).text, "secret\n");
  EXPECT_EQ(snapshot(), "");
  EXPECT_TRUE(view_.changes().empty());
}

}  // namespace
