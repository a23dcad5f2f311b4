// Published properties by name, as text: round-trips over the standard
// classes, the text forms of enumerations, sets and colours, and refusals.
#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace ui {
namespace {

struct RoundTrip {
  const char* cls;
  const char* prop;
  const char* in;
  const char* out;  // what reading it back gives
};

// Each row: create the class by name, set the property by name, read it back.
const RoundTrip kRoundTrips[] = {
    {"TButton", "Left", "17", "17"},
    {"TButton", "Top", "-4", "-4"},
    {"TButton", "Width", "90", "90"},
    {"TButton", "Height", "$1E", "30"},
    {"TButton", "Caption", "&Next >", "&Next >"},
    {"TButton", "Visible", "false", "False"},
    {"TButton", "Enabled", "FALSE", "False"},
    {"TButton", "Default", "True", "True"},
    {"TButton", "ModalResult", "6", "6"},
    {"TButton", "Tag", "-12", "-12"},
    {"TButton", "Hint", "$TARGETDIR$", "$TARGETDIR$"},
    {"TButton", "Name", "btn_Next", "btn_Next"},
    {"TPanel", "Align", "alClient", "alClient"},
    {"TPanel", "Align", "altop", "alTop"},
    {"TPanel", "Anchors", "[akLeft,akTop]", "[akLeft,akTop]"},
    {"TPanel", "Anchors", "[ akRight , akBottom ]", "[akRight,akBottom]"},
    {"TPanel", "Anchors", "[]", "[]"},
    {"TPanel", "Color", "clBtnFace", "clBtnFace"},
    {"TPanel", "Color", "$00FF0000", "clBlue"},
    {"TPanel", "Color", "$00123456", "$00123456"},
    {"TPanel", "Color", "16777215", "clWhite"},
    {"TPanel", "BevelOuter", "bvNone", "bvNone"},
    {"TPanel", "Font.Name", "Tahoma", "Tahoma"},
    {"TPanel", "Font.Height", "-13", "-13"},
    {"TPanel", "Font.Size", "8", "8"},
    {"TPanel", "Font.Style", "[fsBold,fsItalic]", "[fsBold,fsItalic]"},
    {"TPanel", "Font.Color", "clRed", "clRed"},
    {"TPanel", "Font.Charset", "EASTEUROPE_CHARSET", "238"},
    {"TLabel", "Caption", "Folder:", "Folder:"},
    {"TLabel", "Alignment", "taRightJustify", "taRightJustify"},
    {"TLabel", "AutoSize", "False", "False"},
    {"TLabel", "WordWrap", "True", "True"},
    {"TEdit", "Text", "C:\\Program Files\\", "C:\\Program Files\\"},
    {"TEdit", "MaxLength", "8", "8"},
    {"TEdit", "ReadOnly", "True", "True"},
    {"TEdit", "TabOrder", "0", "0"},
    {"TMaskEdit", "EditMask", "!99/99/0000;1;_", "!99/99/0000;1;_"},
    {"TMemo", "Lines", "one\r\ntwo\r\n", "one\r\ntwo\r\n"},
    {"TMemo", "ScrollBars", "ssVertical", "ssVertical"},
    {"TMemo", "MaxLength", "2147483647", "2147483647"},
    {"TCheckBox", "Checked", "True", "True"},
    {"TCheckBox", "State", "cbGrayed", "cbGrayed"},
    {"TRadioButton", "Checked", "True", "True"},
    {"TComboBox", "Style", "csDropDownList", "csDropDownList"},
    {"TComboBox", "Items", "a\r\nb\r\n", "a\r\nb\r\n"},
    {"TListBox", "MultiSelect", "True", "True"},
    {"TRadioGroup", "Columns", "2", "2"},
    {"TProgressBar", "Max", "500", "500"},
    {"TProgressBar", "Position", "60", "60"},
    {"TProgressBar", "Position", "900", "100"},  // kept within Min..Max (Max 100)
    {"TGauge", "Progress", "40", "40"},
    {"TGauge", "ForeColor", "clNavy", "clNavy"},
    {"TSpinEdit", "Value", "42", "42"},
    {"TTrackBar", "Position", "7", "7"},
    {"TTimer", "Interval", "300", "300"},
    {"TTimer", "Enabled", "False", "False"},
    {"TTabSheet", "TabVisible", "False", "False"},
    {"TStatusBar", "SimpleText", "ready", "ready"},
    {"TForm", "Caption", "Kv90Sw - v1.3", "Kv90Sw - v1.3"},
    {"TForm", "ClientWidth", "462", "462"},
    {"TForm", "ClientHeight", "181", "181"},
    {"TForm", "Position", "poScreenCenter", "poScreenCenter"},
    {"TForm", "BorderStyle", "bsDialog", "bsDialog"},
    {"TForm", "BorderIcons", "[biSystemMenu,biMinimize]", "[biSystemMenu,biMinimize]"},
    {"TForm", "FormStyle", "fsStayOnTop", "fsStayOnTop"},
    {"TForm", "PixelsPerInch", "96", "96"},
    {"TShape", "Brush.Color", "clYellow", "clYellow"},
    {"TBevel", "Shape", "bsTopLine", "bsTopLine"},
    {"TSaveDialog", "DefaultExt", "csv", "csv"},
};

TEST(Props, RoundTripByName) {
  for (const RoundTrip& r : kRoundTrips) {
    SCOPED_TRACE(std::string(r.cls) + "." + r.prop + " = " + r.in);
    const TClassInfo* ci = FindClass(r.cls);
    ASSERT_NE(ci, nullptr);
    TForm owner;
    TComponent* c = ci->Create(&owner);
    if (auto* ctl = dynamic_cast<TControl*>(c); ctl && !dynamic_cast<TForm*>(c)) ctl->SetParent(&owner);
    ASSERT_TRUE(c->HasProp(r.prop));
    std::string error;
    EXPECT_TRUE(c->SetPropText(r.prop, r.in, &error)) << error;
    EXPECT_EQ(c->GetPropText(r.prop), r.out);
    if (dynamic_cast<TForm*>(c)) delete c;  // a form owned by a form is freed by it too; free early
  }
}

struct Refusal {
  const char* cls;
  const char* prop;
  const char* in;
};

const Refusal kRefusals[] = {
    {"TButton", "Left", "ten"},
    {"TButton", "Left", "99999999999"},
    {"TButton", "Visible", "yes"},
    {"TButton", "Visible", "-1"},
    {"TPanel", "Align", "alMiddle"},
    {"TPanel", "Align", "17"},
    {"TPanel", "Anchors", "akLeft"},
    {"TPanel", "Anchors", "[akLeft,akNowhere]"},
    {"TPanel", "Anchors", "[akLeft,]"},
    {"TPanel", "Color", "clPlaid"},
    {"TPanel", "Color", "$1FFFFFFFF"},
    {"TButton", "Name", "2fast"},
    {"TButton", "Name", "has space"},
    {"TButton", "NoSuchProperty", "1"},
};

TEST(Props, BadValuesAreRefusedAndLeaveTheValue) {
  for (const Refusal& r : kRefusals) {
    SCOPED_TRACE(std::string(r.cls) + "." + r.prop + " = " + r.in);
    TForm owner;
    TComponent* c = FindClass(r.cls)->Create(&owner);
    std::string before = c->GetPropText(r.prop);
    std::string error;
    EXPECT_FALSE(c->SetPropText(r.prop, r.in, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(c->GetPropText(r.prop), before);
  }
}

TEST(Props, NamesAreUniquePerOwnerIgnoringCase) {
  TForm f;
  auto* a = new TButton(&f);
  auto* b = new TButton(&f);
  EXPECT_TRUE(a->SetName("btn_Ok"));
  EXPECT_FALSE(b->SetName("BTN_OK"));
  EXPECT_EQ(f.FindComponent("btn_ok"), a);
  EXPECT_TRUE(b->SetName("btn_Cancel"));
  EXPECT_TRUE(a->SetName("btn_Ok"));  // its own name again
}

TEST(Props, LookupIgnoresCaseAndListsAncestorsFirst) {
  TForm f;
  TEdit e(&f);
  EXPECT_TRUE(e.SetPropText("text", "abc"));
  EXPECT_EQ(e.GetPropText("TEXT"), "abc");
  std::vector<std::string> names = e.PropNames();
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[0], "Name");
  EXPECT_NE(std::find(names.begin(), names.end(), "MaxLength"), names.end());
  EXPECT_EQ(e.GetPropText("Nothing"), "");
  EXPECT_FALSE(e.GetProp("Nothing").has_value());
}

TEST(Props, ClassRegistryCreatesByNameAndKnowsAncestry) {
  const TClassInfo* ci = FindClass("tbitbtn");
  ASSERT_NE(ci, nullptr);
  EXPECT_EQ(ci->Name, "TBitBtn");
  EXPECT_TRUE(ci->InheritsFrom("TButton"));
  EXPECT_TRUE(ci->InheritsFrom(TWinControl::StaticClassInfo()));
  EXPECT_FALSE(ci->InheritsFrom("TEdit"));
  EXPECT_EQ(FindClass("TRzNothing"), nullptr);
  RegisterClassAlias("TRzCheckBox", TCheckBox::StaticClassInfo());
  ASSERT_NE(FindClass("TRzCheckBox"), nullptr);
  EXPECT_EQ(FindClass("TRzCheckBox")->Name, "TCheckBox");
}

TEST(Props, TextFormsOfValues) {
  EXPECT_EQ(SetToText(kAnchorNames, akLeft | akBottom), "[akLeft,akBottom]");
  EXPECT_EQ(TextToSet(kAnchorNames, "[akTop]"), akTop);
  EXPECT_EQ(ColorToText(clBtnFace), "clBtnFace");
  EXPECT_EQ(ColorToText(static_cast<TColor>(0x00ABCDEF)), "$00ABCDEF");
  EXPECT_EQ(TextToColor("-16777201"), clBtnFace);  // as some form texts write system colours
  EXPECT_EQ(ColorToRgb(clBlue), 0x0000FFu);
  EXPECT_EQ(ColorToRgb(static_cast<TColor>(0x00336699)), 0x996633u);
  EXPECT_EQ(TextToInt(" $ff "), 255);
  EXPECT_FALSE(TextToInt("").has_value());
  EXPECT_FALSE(TextToInt("1e3").has_value());
  TFont f;
  EXPECT_EQ(f.Size(), 8);  // height -11 at 96 pixels per inch
  f.SetSize(10);
  EXPECT_EQ(f.Height, -13);
}

TEST(Props, NotifyEventsByName) {
  TForm f;
  TButton b(&f);
  ASSERT_TRUE(b.HasEvent("OnClick"));
  EXPECT_FALSE(b.HasEvent("OnTimer"));
  TComponent* seen = nullptr;
  *b.NotifyEvent("onclick") = [&](TComponent* s) { seen = s; };
  b.Click();
  EXPECT_EQ(seen, &b);
}

}  // namespace
}  // namespace ui
