// Static validation: one table of scripts with the finding each must give.
#include <gtest/gtest.h>

#include "engine/script/script.h"
#include "engine/script/tests/script_builder.h"
#include "engine/script/validation.h"

namespace {

struct Case { const char* what; const char* script; int index; const char* message; };

constexpr int kOk = engine::kValidOk;
constexpr int kEnds = engine::kUnbalancedEndIndex;

const Case kCases[] = {
    {"empty script", "", kOk, "Script compiled successfully"},
    {"balanced", "If: WIZARD | 0 | NEXT | FALSE\nElse\nEnd", kOk, "Script compiled successfully"},
    {"one End too many", "If: WIZARD | 0 | NEXT | FALSE\nEnd\nEnd", kEnds, "Too many END statements"},
    {"one End too few", "If: WIZARD | 0 | NEXT | FALSE\nIf: SILENT | 0 | TRUE | FALSE\nEnd", kEnds,
     "Insufficient END statements"},
    {"disabled End does not count", "If: WIZARD | 0 | NEXT | FALSE\n~End", kEnds, "Insufficient END statements"},
    {"label inside If", "If: WIZARD | 0 | NEXT | FALSE\nLabel: here\nEnd", 1,
     "LABEL statements cannot be nested inside loops/conditionals"},
    {"disabled label still unique", "~Label: Here\nLabel: HERE", 1, "LABEL re-defined: HERE"},
    {"goto other case", "GoTo Label: end\nLabel: END", kOk, "Script compiled successfully"},
    {"goto unknown", "GoTo Label: nowhere", 0, "LABEL undefined: nowhere"},
    {"if on a later variable", "If: LATER | 0 | x | FALSE\nEnd\nSet Variable: LATER | 1", 0,
     "Variable not defined: LATER"},
    {"if after the writer", "Set Variable: LATER | 1\nIf: $LATER$ | 0 | x | FALSE\nEnd", kOk,
     "Script compiled successfully"},
    {"disabled writer declares nothing", "~Set Variable: LATER | 1\nIf: LATER | 0 | x | FALSE\nEnd", 1,
     "Variable not defined: LATER"},
    {"predefined", "If: SILENT | 0 | TRUE | FALSE\nEnd\nIf: wizard | 0 | NEXT | FALSE\nEnd", kOk,
     "Script compiled successfully"},
    {"persistent declares up front", "If: KEEP | 0 | x | FALSE\nEnd\nSet Variable: KEEP$ZEKO$ZEKO$TRUE | 1", kOk,
     "Script compiled successfully"},
    {"not persistent", "If: KEEP | 0 | x | FALSE\nEnd\nSet Variable: KEEP$ZEKO$ZEKO$FALSE | 1", 0,
     "Variable not defined: KEEP"},
    {"if without variable", "If:  | 0 | x | FALSE\nEnd", 0, "Variable required"},
    {"parameter 3 reported when both fail", "If: NOPE1 | 0 | $NOPE3$ | FALSE\nEnd", 0,
     "Variable not defined: $NOPE3$"},
    {"messagebox in wizard loop", "Wizard Loop\nDisplay Dialog: Welcome | WIZARD | TRUE\nMessageBox: a | b | 0 | 1 | \nEnd",
     2, "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP"},
    {"comment and disabled in wizard loop",
     "Wizard Loop\nComment: x\n~MessageBox: a | b | 0 | 1 | \nDisplay Dialog: Welcome | WIZARD | TRUE\nEnd", kOk,
     "Script compiled successfully"},
    {"dialog without name", "Display Dialog:  | WIZARD | TRUE", 0, "Dialog name not specified"},
    {"dialog skip variable unknown", "Display Dialog: Welcome | R | TRUE | $SKIPME$ |  | TRUE", 0,
     "Variable not defined: $SKIPME$"},
    {"dialog result declares", "Display Dialog: Welcome | PAGE1 | TRUE\nIf: PAGE1 | 0 | NEXT | FALSE\nEnd", kOk,
     "Script compiled successfully"},
    {"expression bare word", "Evaluate Expression: NAME = \"x\" | R", 0,
     "Syntax error in expression. Please review the help topic \"Evaluate Expression\" for the correct syntax."},
    {"expression with references", "Evaluate Expression: $TITLE$ = \"x\" | R\nIf: R | 0 | TRUE | FALSE\nEnd", kOk,
     "Script compiled successfully"},
    {"convert case unknown", "Convert Case: NOPE | TRUE", 0, "Variable not defined: NOPE"},
    {"find all files needs variable", "Find All Files: C:\\*.* | TRUE | FALSE | ", 0, "Variable required"},
    {"delete files mode", "Delete Files: C:\\x | | FALSE | FALSE", 0, "At least one delete mode must be selected"},
    {"install files target", "Install Files: a | b | ", 0,
     "A target folder must be specified for files that are being installed.\rThe value $TARGETDIR$ represents the "
     "destination folder chosen by the user."},
    {"web media block name", "Web Media Block: a/b | http://127.0.0.1/x", 0,
     "Web Media Block name must be a legal file name"},
    {"web media block url", "Web Media Block: block | ", 0, "Web Media Block must have at least one download URL"},
    {"parse string declares both", "Parse String: a=b | = | LEFT | RIGHT | 0\nIf: RIGHT | 0 | b | FALSE\nEnd", kOk,
     "Script compiled successfully"},
};

TEST(Validation, FindingsTable) {
  for (const Case& c : kCases) {
    engine::Script s = engine::ParseScriptText(scripttest::Compile(c.script));
    engine::Variables vars;
    engine::ValidationResult r = engine::ValidateScript(s, vars);
    EXPECT_EQ(r.index, c.index) << c.what;
    EXPECT_EQ(r.message, c.message) << c.what;
  }
}

}  // namespace
