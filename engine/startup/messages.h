// The engine's message table: 115 slots of fixed messages, English by
// default, replaced from a message file (the data appended to qel.lib, or a
// shared message file of a language).
//
// File format: ANSI text, CR LF lines; one block of 115 lines, then any
// number of entries of a language name line and a block of 115 lines.
// Loading takes the first block, then each language block in turn until
// one is named like the user's language; a file that ends inside a block
// leaves the remaining slots as they were.
//
// Only the slots start-up shows have English defaults here so far; the
// full table comes with the localisation work.
#pragma once

#include <string>
#include <string_view>

namespace engine {

enum class Msg : int {
  CommonControls = 1,
  ResourceNotFound = 2,
  ResourceDecompression = 3,
  DatabaseNotFound = 4,
  RuntimeErrorInInstall = 5,
  GeneralSetupFailure = 19,
  RuntimeErrorInScript = 20,
  WizardCaption = 23,
  Preparing = 24,
};

inline constexpr int kMessageSlots = 115;

// The current text of a slot.
const std::string& Message(Msg slot);
// Loads a message file (host path); false when it cannot be read.
bool LoadMessages(const std::string& hostPath, std::string_view userLanguage);
// Back to the built-in English texts (tests).
void ResetMessages();

}  // namespace engine
