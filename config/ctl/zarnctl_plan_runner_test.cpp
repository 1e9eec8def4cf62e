#include "zarnctl_plan_runner.h"

#include <gtest/gtest.h>

#include "zarncfg_strings.h"

namespace {

using Words = std::vector<std::string>;

// Whatever zarncfg_shell_word makes of a value comes back whole.
TEST(ShellWords, UndoTheQuotingOfTheSteps) {
  for (const std::string value : {"plain/path", "with blank", "it's", "", "$HOME;rm", "a\\b"}) {
    EXPECT_EQ(shell_words("cp " + zarncfg_shell_word(value) + " x"), (Words{"cp", value, "x"})) << value;
  }
  EXPECT_EQ(shell_words("  a   b "), (Words{"a", "b"}));
}

TEST(PlanRunner, RecordsShownTextsAndDoesWhatCopiesAndLinksWould) {
  FileView view;
  PlanRunner runner(view);
  ShellCommand secret("/opt/Varden/bin/certbind -P 'Secr3t'", "/opt/Varden/bin/certbind -P ********");
  EXPECT_EQ(runner.run(secret).status, 0);
  EXPECT_EQ(runner.run(ShellCommand("/bin/ln -f -s /nonexistent/init.d/brevik '/nonexistent/rc 2/S88brevik'"))
                .status,
            0);
  EXPECT_EQ(runner.run(ShellCommand("cp /nonexistent/ca.pem /nonexistent/certs/ca.pem")).status, 0);
  EXPECT_EQ(runner.commands(),
            (Words{"/opt/Varden/bin/certbind -P ********",
                   "/bin/ln -f -s /nonexistent/init.d/brevik '/nonexistent/rc 2/S88brevik'",
                   "cp /nonexistent/ca.pem /nonexistent/certs/ca.pem"}));
  const std::vector<PathChange> changes = view.changes();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].path, "/nonexistent/certs/ca.pem");
  EXPECT_EQ(changes[1].path, "/nonexistent/rc 2/S88brevik");
  EXPECT_EQ(changes[1].after.target, "/nonexistent/init.d/brevik");
}

// The runtime probe only looks, so it runs, and it is no change to show.
TEST(PlanRunner, RuntimeProbeRunsAndIsNotListed) {
  FileView view;
  PlanRunner runner(view);
  EXPECT_NE(runner.run(ShellCommand("/bin/rpm -q -a | grep -i VDRTE-VD >/dev/null 2>&1; exit 3")).status, 0);
  EXPECT_TRUE(runner.commands().empty());
}

}  // namespace
