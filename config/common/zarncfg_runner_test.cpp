#include "zarncfg_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <fstream>

#include "sys_fd.h"
#include "sys_testing.h"
#include "zarncfg_recording_runner.h"

namespace {

TEST(ChildRunner, RoutesEachStreamAndReportsTheEnd) {
  const sys::ScratchDir dir;
  std::ofstream(dir / "in") << "from input\n";
  const sys::UniqueFd in = sys::open_fd(dir / "in", O_RDONLY);
  const sys::UniqueFd out = sys::open_fd(dir / "out", O_WRONLY | O_CREAT, 0600);
  const sys::UniqueFd err = sys::open_fd(dir / "err", O_WRONLY | O_CREAT, 0600);
  ShellCommand command("read line; echo \"$line\"; echo * >&2; exit 5");
  command.flags = "-cf";
  command.input.fd = in.get();
  command.output.fd = out.get();
  command.errors.fd = err.get();
  const CommandEnd end = ChildRunner().run(command);
  EXPECT_EQ(end.status, 5);
  EXPECT_FALSE(end.exec_failed);
  EXPECT_EQ(sys::file_text(dir / "out"), "from input\n");
  EXPECT_EQ(sys::file_text(dir / "err"), "*\n");
  EXPECT_EQ(ChildRunner().run(ShellCommand("kill -TERM $$")).status, 128 + 15);
}

TEST(RunnerScope, InstallsItsRunnerWhileItLives) {
  CommandRunner* const real = &current_runner();
  {
    RecordingRunner outer;
    {
      RecordingRunner inner;
      EXPECT_EQ(&current_runner(), &inner);
    }
    EXPECT_EQ(&current_runner(), &outer);
  }
  EXPECT_EQ(&current_runner(), real);
}

}  // namespace
