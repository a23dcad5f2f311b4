// What a command implementation sees: its parameters, the variables and the
// session.  Every command family implements the same shape,
//   void Run<Command>(CommandContext&)
// and the interpreter's command table maps names to these functions.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/script/expression.h"
#include "engine/script/script.h"
#include "engine/script/session.h"
#include "engine/script/variables.h"

namespace engine {

// Translation of a script text: the translation stored under the key (the
// command identifier, or a wrapped variable name) and position, if any.
using Translator = std::function<std::optional<std::string>(std::string_view key, int position)>;

struct CommandContext {
  Script& script;
  Session& session;
  Variables& vars;
  MathState& math;
  int index;
  std::string name;
  const Translator* translate = nullptr;

  std::string Param(int n) const { return script.Param(index, n); }
  // Compiler variables (#NAME#), then $NAME$.
  std::string Expanded(int n) const;
  std::string ExpandedPath(int n) const;
  // Expanded, then (when LANGUAGE is set) translated and expanded again.
  std::string Translated(int n, int position) const;
  std::string TranslatedWithKey(int n, std::string_view key, int position) const;
  // The source label of the command's writes.
  std::string Source() const { return name + " Action"; }
  // Writes a result: a missing variable is defined (upper-cased name) first.
  void SetResult(std::string_view var, std::string_view value) const;
};

// Family: values (conditions and expressions).
void RunMathematics(CommandContext& c);
void RunParseString(CommandContext& c);
void RunReplaceString(CommandContext& c);
void RunConvertCase(CommandContext& c);
void RunExtractPath(CommandContext& c);
void RunEvaluateExpression(CommandContext& c);

}  // namespace engine
