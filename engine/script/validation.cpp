// Static validation (see validation.h).  The steps run in a fixed order and
// the first finding ends the pass:
//   1. declare the predefined variables;
//   2. block balance over enabled commands (and no Label inside a block);
//   3. label names unique over all commands;
//   4. persistent "Set Variable" names declared up front;
//   5. one pass in index order over enabled commands: declare what each
//      command writes, check what it needs;
//   6. wizard loops hold only "Display Dialog" and "Comment".
// Parameters are read raw, never expanded.
#include "engine/script/validation.h"

#include <unordered_set>

#include "engine/script/expression.h"
#include "platform/base/text.h"

namespace engine {
namespace {

constexpr std::string_view kCompilation = "Compilation";
constexpr std::string_view kPersistMarker = "$ZEKO$ZEKO$";

// Items 3 to 5 of the predefined variables, with NEWINSTANCE and LANGUAGE.
constexpr const char* kPredefined[] = {
    "TARGETDIR", "STARTMENU", "ALLUSERS",
    "PRODUCTCODE", "REVISIONCODE", "UNINSTALLLINK", "ENGINECACHE", "DATADIR", "NEEDSUPGRADE", "MAINTENANCE",
    "NEWINSTANCE", "LANGUAGE",
    "ZEKO_COMPRESS_INSTALLER_CACHE", "ZEKO_DISABLE_ROLLBACK", "ZEKO_DISABLE_VISTA_RESTART_MANAGER", "IISHOST",
    "OVERRIDECACHE", "ZEKOLOGO", "SELECTED", "WINDOWHANDLE", "EXEFILE", "EXEDIR", "PROGRESSTEXT",
    "PROGRESSMODE", "ABORT", "PROGRESS", "LASTERROR", "LICENSE", "USERNAME", "USERCOMPANY", "COPYWEBLOCK",
    "REBOOTCOMPUTER", "RUNAPP", "WIZARD", "VERSION", "SILENT", "LOGGED", "CMDLINE", "REBOOTNOW", "SFXPATH",
    "SFXFILE", "GPOPATH", "COMPLETE", "NEWLINE", "MINIMUM", "PERSONALIZED", "MODIFY", "REPAIR", "REMOVE",
    "ROOTDIR", "TITLE", "COMPANY", "ADVERTISE", "DATE", "TIME", "TEMPDIR", "SUPPORTDIR", "MSIFILE"};

struct Declares { const char* command; int params[2]; };
// Commands that write variables named by their parameters.
constexpr Declares kDeclares[] = {
    {"Get Folder Location", {1, 0}}, {"Get INI File Settings", {1, 0}}, {"Check File Version", {1, 0}},
    {"Get System Settings", {1, 0}}, {"Get OS or SP Level", {1, 0}}, {"Read Registry", {1, 0}},
    {"Check Registry", {1, 0}}, {"Does File/Folder Exist", {1, 0}}, {"Localization Variable", {1, 0}},
    {"Get Temporary File", {1, 0}}, {"Get IIS Property", {1, 0}}, {"Get IIS Site List", {1, 0}},
    {"IIS Anonymous User", {1, 0}}, {"Apply Patch", {1, 0}}, {"Check Disk Space", {1, 0}},
    {"Is MSI Setup Installed", {2, 0}}, {"Run Light Mode Setup", {2, 0}}, {"Get File Version", {2, 0}},
    {"Get Environment", {2, 0}}, {"Get IIS Site Index", {2, 0}}, {"Check Process", {2, 0}},
    {"Apply Changes", {2, 0}}, {"Get Component State", {2, 0}}, {"Get Component Space", {2, 0}},
    {"Extract 7Zip Archive", {3, 0}}, {"Check Service", {3, 0}}, {"Register Library", {3, 0}},
    {"Mathematics", {4, 0}}, {"Run Program", {4, 0}}, {"Find All Files", {4, 0}}, {"MessageBox", {5, 0}},
    {"Run Program As", {8, 0}}, {"Read from Text File", {2, 3}}, {"Parse String", {3, 4}},
    {"Evaluate Expression", {2, 0}}, {"Display Dialog", {2, 0}}};

void Declare(Variables& vars, std::string_view name) {
  if (name.empty()) return;
  if (!vars.Exists(name)) vars.Define(base::UpperCase(name), "", kCompilation);
}

std::string WithoutPersistSuffix(std::string_view name) {
  std::size_t m = name.find(kPersistMarker);
  return std::string(m == std::string_view::npos ? name : name.substr(0, m));
}

bool IsLegalFileName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (static_cast<unsigned char>(c) < 32) return false;
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return s != "." && s != "..";
}

const std::string& NameOf(const Script& s, int i) {
  static const std::string kNone;
  return i < s.commandNames.Count() ? s.commandNames[i] : kNone;
}

bool ExistsBareOrRef(const Variables& vars, std::string_view p) {
  return vars.Exists(Variables::StripReference(p));
}

ValidationResult Fail(int index, std::string message) { return ValidationResult{index, std::move(message)}; }

}  // namespace

void DeclarePredefined(Variables& vars) {
  for (const char* n : kPredefined) vars.Define(n, "", kCompilation);
}

ValidationResult ValidateScript(const Script& s, Variables& vars) {
  vars.Clear();
  DeclarePredefined(vars);
  const int n = s.Count();

  // 2. Block balance.
  long long openers = 0, ends = 0;
  for (int i = 0; i < n; ++i) {
    if (!s.Enabled(i)) continue;
    const std::string& name = NameOf(s, i);
    if (name == "If" || name == "Wizard Loop") ++openers;
    else if (name == "End") ++ends;
    else if (name == "Label" && openers != ends)
      return Fail(i, "LABEL statements cannot be nested inside loops/conditionals");
  }
  if (openers > ends) return Fail(kUnbalancedEndIndex, "Insufficient END statements");
  if (openers < ends) return Fail(kUnbalancedEndIndex, "Too many END statements");

  // 3. Labels.
  std::unordered_set<std::string> labels;
  for (int i = 0; i < n; ++i) {
    if (NameOf(s, i) != "Label") continue;
    std::string p1 = s.Param(i, 1);
    if (!labels.insert(base::UpperCase(p1)).second) return Fail(i, "LABEL re-defined: " + p1);
  }

  // 4. Persistent variables.
  for (int i = 0; i < n; ++i) {
    if (NameOf(s, i) != "Set Variable") continue;
    std::string p1 = s.Param(i, 1);
    std::size_t m = p1.find(kPersistMarker);
    if (m == std::string::npos) continue;
    if (p1.substr(m + kPersistMarker.size()) == "TRUE") Declare(vars, p1.substr(0, m));
  }

  // 5. Per-command pass.
  for (int i = 0; i < n; ++i) {
    if (!s.Enabled(i)) continue;
    const std::string& name = NameOf(s, i);
    if (name == "Set Variable") {
      Declare(vars, WithoutPersistSuffix(s.Param(i, 1)));  // dollar signs kept, as written
      continue;
    }
    for (const Declares& d : kDeclares) {
      if (name != d.command) continue;
      for (int k : d.params)
        if (k > 0) Declare(vars, s.Param(i, k));
    }
    if (name == "Check Disk Space" && s.Param(i, 1).empty()) return Fail(i, "Variable required");
    if (name == "Is MSI Setup Installed" && s.Param(i, 2).empty()) return Fail(i, "Variable required");
    if (name == "Find All Files" && s.Param(i, 4).empty()) return Fail(i, "Variable required");
    if (name == "Evaluate Expression" && !CheckExpressionSyntax(s.Param(i, 1)))
      return Fail(i,
                  "Syntax error in expression. Please review the help topic \"Evaluate Expression\" for the "
                  "correct syntax.");
    if (name == "Display Dialog") {
      if (s.Param(i, 1).empty()) return Fail(i, "Dialog name not specified");
      std::string p4 = s.Param(i, 4);
      if (!p4.empty() && !ExistsBareOrRef(vars, p4)) return Fail(i, "Variable not defined: " + p4);
    }
    if (name == "If" || name == "Else If") {
      std::string p1 = s.Param(i, 1), p3 = s.Param(i, 3);
      if (p1.empty()) return Fail(i, "Variable required");
      // Parameter 3 is reported when both fail.
      if (Variables::IsReference(p3) && !ExistsBareOrRef(vars, p3)) return Fail(i, "Variable not defined: " + p3);
      if (!ExistsBareOrRef(vars, p1)) return Fail(i, "Variable not defined: " + p1);
    }
    if (name == "Convert Path" || name == "Convert Case" || name == "Extract Path" || name == "Replace String") {
      std::string p1 = s.Param(i, 1);
      if (!ExistsBareOrRef(vars, p1)) return Fail(i, "Variable not defined: " + p1);
    }
    if (name == "GoTo Label") {
      std::string p1 = s.Param(i, 1);
      if (!labels.count(base::UpperCase(p1))) return Fail(i, "LABEL undefined: " + p1);
    }
    if (name == "Web Media Block") {
      std::string p1 = s.Param(i, 1);
      if (!IsLegalFileName(p1)) return Fail(i, "Web Media Block name must be a legal file name");
      if (!p1.empty() && s.Param(i, 2).empty()) return Fail(i, "Web Media Block must have at least one download URL");
    }
    if (name == "Delete Files" && !base::IsTrueText(s.Param(i, 3)) && !base::IsTrueText(s.Param(i, 4)))
      return Fail(i, "At least one delete mode must be selected");
    if (name == "Install Files" && s.Param(i, 3).empty())
      return Fail(i,
                  "A target folder must be specified for files that are being installed.\r"
                  "The value $TARGETDIR$ represents the destination folder chosen by the user.");
  }

  // 6. Wizard loops.
  bool inLoop = false;
  for (int i = 0; i < n; ++i) {
    const std::string& name = NameOf(s, i);
    if (!inLoop) {
      if (name == "Wizard Loop") inLoop = true;  // as the scan of the compiler: any Wizard Loop opens
      continue;
    }
    if (name == "End") {
      inLoop = false;
      continue;
    }
    if (name == "Display Dialog" || name == "Comment" || name == "Ignore" || !s.Enabled(i)) continue;
    return Fail(i, "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP");
  }
  return ValidationResult{};
}

}  // namespace engine
