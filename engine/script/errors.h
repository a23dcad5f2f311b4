// The interpreter's runtime errors: one table of texts, one exception type.
// A command throws ScriptError; the main loop turns it into the
// "Runtime error in setup script:" message with the command's line number.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace engine {

enum class ErrorId {
  kNotBuilt,          // a command of the table whose family this build lacks
  kNoPages,           // a page command without wizard pages
  kPluginNotRunnable, // the plug-in library exists, but running it is not built
  kNoHeaders,
  kSourcesRequired,
  kGeneralFailure,
  kListIndex,
  kLabelUndefined,
  kNotInteger,
};

struct ErrorText { ErrorId id; const char* text; };  // "%1" is replaced by the argument

inline constexpr ErrorText kErrorTexts[] = {
    {ErrorId::kNotBuilt, "The command \"%1\" is not supported by this version of the setup engine"},
    {ErrorId::kNoPages, "The command \"%1\" needs wizard pages, which this version of the setup engine does not provide"},
    {ErrorId::kPluginNotRunnable, "The plug-in command \"%1\" cannot be run by this version of the setup engine"},
    {ErrorId::kNoHeaders, "Unable to obtain command headers. Please rebuild your project."},
    {ErrorId::kSourcesRequired, "Original setup sources required to complete operation, sources not found"},
    {ErrorId::kGeneralFailure, "General setup failure"},
    {ErrorId::kListIndex, "List index out of bounds (%1)"},
    {ErrorId::kLabelUndefined, "LABEL undefined: %1"},
    {ErrorId::kNotInteger, "'%1' is not a valid integer value"},
};

std::string ErrorMessage(ErrorId id, std::string_view arg = {});

class ScriptError : public std::runtime_error {
 public:
  ScriptError(ErrorId id, std::string_view arg = {}) : std::runtime_error(ErrorMessage(id, arg)), id_(id) {}
  ErrorId id() const { return id_; }

 private:
  ErrorId id_;
};

// Messages the interpreter shows without ending the script.
inline constexpr std::string_view kRuntimeErrorPrefix = "Runtime error in setup script:";
inline constexpr std::string_view kUnableToLoadPlugin =
    "Unable to load plug-in library. Please rebuild your project and make sure all required plug-ins are "
    "installed.\r\rAction skipped";
inline constexpr std::string_view kLocateSources = "Please locate your original setup sources to continue operation";

}  // namespace engine
