#include "tree_copy.h"

#include <gtest/gtest.h>

#include "file_util.h"
#include "sys_testing.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

class TreeCopyTest : public ::testing::Test {
 protected:
  fs::path from() const { return tmp_ / "from"; }
  fs::path to() const { return tmp_ / "to"; }

  void SetUp() override {
    make_directory(from(), 0755);
    make_directory(to(), 0755);
  }

  sys::ScratchDir tmp_{"hostsim-test"};
};

TEST_F(TreeCopyTest, KeepsModesOfFilesAndDirectories) {
  make_directory(from() / "opt", 0750);
  make_directory(from() / "opt/bin", 0711);
  write_new_file(from() / "opt/bin/tool", "#!/bin/sh\n", 04755);
  write_new_file(from() / "opt/secret", "s", 0600);

  copy_tree(from(), to());

  EXPECT_EQ(sys::mode_of(to() / "opt"), 0750u);
  EXPECT_EQ(sys::mode_of(to() / "opt/bin"), 0711u);
  EXPECT_EQ(sys::mode_of(to() / "opt/bin/tool"), 04755u);
  EXPECT_EQ(sys::mode_of(to() / "opt/secret"), 0600u);
  EXPECT_EQ(read_text_file(to() / "opt/bin/tool"), "#!/bin/sh\n");
}

TEST_F(TreeCopyTest, CopiesLinksAsLinks) {
  fs::create_symlink("../elsewhere/target", from() / "link");

  copy_tree(from(), to());

  ASSERT_TRUE(fs::is_symlink(to() / "link"));
  EXPECT_EQ(fs::read_symlink(to() / "link"), "../elsewhere/target");
}

TEST_F(TreeCopyTest, MergesIntoExistingDirectories) {
  make_directory(to() / "etc", 0700);
  write_new_file(to() / "etc/passwd", "kept", 0644);
  make_directory(from() / "etc", 0755);
  write_new_file(from() / "etc/product.conf", "new", 0640);

  copy_tree(from(), to());

  EXPECT_EQ(read_text_file(to() / "etc/passwd"), "kept");
  EXPECT_EQ(read_text_file(to() / "etc/product.conf"), "new");
  EXPECT_EQ(sys::mode_of(to() / "etc"), 0755u);
}

// A host's /bin is full of links into the real /usr/bin: a product file of
// the same name must replace the link, not overwrite what it points to.
TEST_F(TreeCopyTest, ReplacesLinksWithoutWritingThroughThem) {
  make_directory(tmp_ / "outside", 0755);
  write_new_file(tmp_ / "outside/rpm", "real", 0755);
  make_directory(to() / "bin", 0755);
  fs::create_symlink(tmp_ / "outside/rpm", to() / "bin/rpm");
  fs::create_symlink(tmp_ / "outside", to() / "lib");
  make_directory(from() / "bin", 0755);
  write_new_file(from() / "bin/rpm", "stand-in", 0700);
  make_directory(from() / "lib", 0755);
  write_new_file(from() / "lib/rpm", "library", 0644);

  copy_tree(from(), to());

  EXPECT_EQ(read_text_file(tmp_ / "outside/rpm"), "real");
  EXPECT_EQ(sys::mode_of(tmp_ / "outside/rpm"), 0755u);
  EXPECT_FALSE(fs::is_symlink(to() / "bin/rpm"));
  EXPECT_EQ(read_text_file(to() / "bin/rpm"), "stand-in");
  EXPECT_FALSE(fs::is_symlink(to() / "lib"));
  EXPECT_EQ(read_text_file(to() / "lib/rpm"), "library");
}

TEST_F(TreeCopyTest, RefusesToReplaceADirectoryWithAFile) {
  make_directory(to() / "conf", 0755);
  write_new_file(from() / "conf", "file", 0644);

  EXPECT_THROW(copy_tree(from(), to()), std::runtime_error);
}

}  // namespace
}  // namespace hostsim
