// The interactive mode's program folder: when the user is asked for it, and what an
// answer or a Cancel leaves.
#include "app/program_folder_choice.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace kiln::app {
namespace {

struct Question {
  std::optional<std::string> answer;
  int asked = 0;
  FolderQuestion Ask() {
    return [this] { return ++asked, answer; };
  }
};

TEST(InteractiveFolder, AskedOnlyWithoutDirAndWithoutKilnIni) {
  kiln::testing::TempDir installed;
  const std::string folder = installed.path().string();
  Question question;
  question.answer = "/home/tech/firmware/T08/";

  EXPECT_EQ(ChooseInteractiveFolder(folder, true, question.Ask()), folder) << "--dir given";
  EXPECT_EQ(question.asked, 0);

  EXPECT_EQ(ChooseInteractiveFolder(folder, false, question.Ask()), "/home/tech/firmware/T08");
  EXPECT_EQ(question.asked, 1);

  question.answer.reset();  // Cancel
  EXPECT_EQ(ChooseInteractiveFolder(folder, false, question.Ask()), folder);
  EXPECT_EQ(question.asked, 2);

  installed.Write("Kiln.ini", "[FW_INFO1]\n");
  EXPECT_EQ(ChooseInteractiveFolder(folder, false, question.Ask()), folder);
  EXPECT_EQ(question.asked, 2) << "the folder already holds Kiln.ini";
}

}  // namespace
}  // namespace kiln::app
