// Message table: blocks, language entries, short files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/startup/messages.h"

namespace fs = std::filesystem;
using engine::Message;
using engine::Msg;

namespace {

std::string Block(const std::string& tag, int lines = engine::kMessageSlots) {
  std::string b;
  for (int slot = 1; slot <= lines; ++slot) b += tag + std::to_string(slot) + "\r\n";
  return b;
}

TEST(Messages, BlocksAndLanguages) {
  const fs::path file = fs::temp_directory_path() / ("messages-test-" + std::to_string(getpid()));
  struct Case { std::string text; const char* language; const char* slot2; const char* slot24; };
  const Case cases[] = {
      {Block("en"), "", "en2", "en24"},
      {Block("en") + "German\r\n" + Block("de") + "French\r\n" + Block("fr"), "german", "de2", "de24"},
      {Block("en") + "German\r\n" + Block("de") + "French\r\n" + Block("fr"), "Japanese", "fr2", "fr24"},
      // A file that ends inside a block keeps the remaining slots.
      {Block("en", 3), "", "en2", "Corvane is preparing the Corvane Wizard which will install this application. Please wait."},
      {"Gr\xfc\xdf" "e\r\n", "", "Setup resource not found", "Corvane is preparing the Corvane Wizard which will install this application. Please wait."},
  };
  for (const Case& c : cases) {
    engine::ResetMessages();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
    ASSERT_TRUE(engine::LoadMessages(file.string(), c.language));
    EXPECT_EQ(Message(Msg::ResourceNotFound), c.slot2) << c.language;
    EXPECT_EQ(Message(Msg::Preparing), c.slot24) << c.language;
  }
  EXPECT_EQ(Message(Msg::CommonControls), "Grüße");  // ANSI read as Windows-1252
  fs::remove(file);
  engine::ResetMessages();
  EXPECT_FALSE(engine::LoadMessages(file.string(), ""));
  EXPECT_EQ(Message(Msg::WizardCaption), "Corvane Wizard");
}

}  // namespace
