// The form-text parser (values, nesting, errors with their line) and the
// reader that builds a form from it on the registered classes.
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/ui/comctrls.h"
#include "platform/ui/form_reader.h"
#include "platform/ui/form_text.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace ui {
namespace {

std::string Wrap(const std::string& props) { return "object F: TForm\n" + props + "\nend\n"; }

struct ValueCase {
  const char* text;  // right side of "X = "
  TFormValue::Kind kind;
  const char* asText;  // FormValueText
};

const ValueCase kValues[] = {
    {"'plain'", TFormValue::String, "plain"},
    {"'It''s'", TFormValue::String, "It's"},
    {"''", TFormValue::String, ""},
    {"'a'#13#10'b'", TFormValue::String, "a\r\nb"},
    {"#39'x'#39", TFormValue::String, "'x'"},
    {"'P'#345'ipojen'#237", TFormValue::String, "P\xC5\x99ipojen\xC3\xAD"},  // Připojení
    {"'first ' +\n    'second'", TFormValue::String, "first second"},
    {"#$41#$62", TFormValue::String, "Ab"},
    {"'caf\xC3\xA9'", TFormValue::String, "caf\xC3\xA9"},
    {"42", TFormValue::Integer, "42"},
    {"-11", TFormValue::Integer, "-11"},
    {"$FF", TFormValue::Integer, "255"},
    {"1.5", TFormValue::Float, "1.5"},
    {"2.5E-3", TFormValue::Float, "2.5E-3"},
    {"clBtnFace", TFormValue::Ident, "clBtnFace"},
    {"True", TFormValue::Ident, "True"},
    {"Form1.Button1", TFormValue::Ident, "Form1.Button1"},
    {"[akLeft, akTop]", TFormValue::Set, "[akLeft,akTop]"},
    {"[]", TFormValue::Set, "[]"},
    {"(\n 'a'\n 'b')", TFormValue::List, ""},
    {"{0A0b FF}", TFormValue::Binary, "\x0A\x0B\xFF"},
    {"<\n item\n Width = 50\n end\n item\n end>", TFormValue::Collection, ""},
};

TEST(FormText, ValuesOfEveryKind) {
  for (const ValueCase& c : kValues) {
    SCOPED_TRACE(c.text);
    TFormParseResult r = ParseFormText(Wrap(std::string("  X = ") + c.text));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.root.props.size(), 1u);
    const TFormValue& v = r.root.props[0].value;
    EXPECT_EQ(v.kind, c.kind);
    if (c.kind != TFormValue::List && c.kind != TFormValue::Collection) {
      EXPECT_EQ(FormValueText(v), c.asText);
    }
  }
}

TEST(FormText, ListsCollectionsAndNestedObjects) {
  const char* text = R"(object PoolTemplate: TPoolTemplate
  Caption = 'Welcome'
  Items.Strings = (
    'one'
    'two')
  Panels = <
    item
      Width = 50
    end
    item
      Text = 'x'
      Width = 80
    end>
  object Panel1: TPanel
    Left = 8
    object Button1: TButton
      Caption = 'Next'
    end
  end
  inherited Label1: TLabel [2]
  end
end
)";
  TFormParseResult r = ParseFormText(text);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.root.name, "PoolTemplate");
  EXPECT_EQ(r.root.className, "TPoolTemplate");
  ASSERT_EQ(r.root.props.size(), 3u);
  EXPECT_EQ(r.root.props[1].value.list.size(), 2u);
  ASSERT_EQ(r.root.props[2].value.items.size(), 2u);
  EXPECT_EQ(r.root.props[2].value.items[1].props[1].name, "Width");
  ASSERT_EQ(r.root.children.size(), 2u);
  EXPECT_EQ(r.root.children[0].children[0].name, "Button1");
  EXPECT_EQ(r.root.children[0].props[0].line, 15);
  EXPECT_TRUE(r.root.children[1].inherited);
}

TEST(FormText, Windows1252TextIsReadAsSuch) {
  // 0x9A is "š" in Windows-1252 and no UTF-8 at all.
  TFormParseResult r = ParseFormText(Wrap("  Caption = 'Pou\x9A\xEDt'"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.root.props[0].value.text, "Pou\xC5\xA1\xC3\xADt");
}

struct ErrorCase {
  const char* text;
  int line;
  const char* fragment;
};

const ErrorCase kErrors[] = {
    {"", 1, "does not begin with \"object\""},
    {"garbage", 1, "does not begin"},
    {"object F: TForm\n  Left = 1\n", 3, "missing \"end\""},
    {"object F: TForm\n  Caption = 'open\nend\n", 2, "unterminated string"},
    {"object F: TForm\n  Left 10\nend\n", 2, "expected \"=\""},
    {"object F: TForm\n  X = [a,\nend\n", 4, "in a set"},
    {"object F: TForm\n  X = {0A1}\nend\n", 2, "odd number"},
    {"object F: TForm\n  X = {0G}\nend\n", 2, "no hex digit"},
    {"object F: TForm\n  X = ('a'\n", 3, "missing \")\""},
    {"object F: TForm\n  X = <item Width = 1 end\n", 3, "missing \">\""},
    {"object F: TForm\n  X = <foo>\nend\n", 2, "expected \"item\""},
    {"object F: TForm\n  X = 'a' +\nend\n", 3, "expected a string after \"+\""},
    {"object F: TForm\n  X = @\nend\n", 2, "unexpected character"},
    {"object F: TForm\n  X = #\nend\n", 2, "character code"},
    {"object F: TForm\nend\nend\n", 3, "text after the final"},
    {"object : TForm\nend\n", 1, "component name"},
    {"object F:\nend\n", 2, "class name"},
    {"object F: TForm\n  X = 99999999999999999999\nend\n", 2, "too large"},
};

TEST(FormText, ErrorsNameTheirLine) {
  for (const ErrorCase& c : kErrors) {
    SCOPED_TRACE(c.text);
    TFormParseResult r = ParseFormText(c.text);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorLine, c.line) << r.error;
    EXPECT_NE(r.error.find(c.fragment), std::string::npos) << r.error;
    EXPECT_EQ(r.error.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << r.error;
  }
}

TEST(FormText, DeepNestingIsRefusedNotOverflowed) {
  std::string deep = "object F: TForm\n  X = ";
  for (int i = 0; i < 100000; ++i) deep += '(';
  TFormParseResult r = ParseFormText(deep);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("nested too deeply"), std::string::npos);
  std::string objects;
  for (int i = 0; i < 1000; ++i) objects += "object A: TPanel\n";
  EXPECT_FALSE(ParseFormText(objects).ok);
}

const char* kPage = R"(object Welcome: TForm
  Left = 200
  Top = 120
  BorderStyle = bsDialog
  Caption = 'Welcome to '#39'Wattline'#39
  ClientHeight = 181
  ClientWidth = 462
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 13
  object Label1: TLabel
    Left = 16
    Top = 12
    Width = 200
    Height = 13
    Caption = 'Install to:'
    Font.Style = [fsBold]
    ParentFont = False
  end
  object Edit1: TEdit
    Left = 16
    Top = 32
    Width = 345
    Height = 21
    Hint = 'TARGETDIR'
    Tag = 2
    TabOrder = 1
    Text = 'C:\Program Files\Wattline'
    OnChange = Edit1Change
  end
  object btn_Next: TButton
    Left = 370
    Top = 144
    Width = 75
    Height = 25
    Caption = '&Next >'
    Default = True
    Tag = 1
    TabOrder = 0
    OnClick = NextClick
  end
  object PageControl1: TPageControl
    Left = 16
    Top = 60
    Width = 345
    Height = 80
    ActivePage = TabSheet2
    object TabSheet1: TTabSheet
      Caption = 'One'
    end
    object TabSheet2: TTabSheet
      Caption = 'Two'
      object ComboBox1: TComboBox
        Left = 4
        Top = 4
        Width = 100
        Height = 21
        Style = csDropDownList
        ItemIndex = 1
        Items.Strings = (
          'Typical'
          'Complete')
      end
    end
  end
  object StatusBar1: TStatusBar
    Left = 0
    Top = 162
    Width = 462
    Height = 19
    Panels = <
      item
        Width = 120
      end
      item
        Text = 'ready'
        Width = 50
      end>
  end
  object Timer1: TTimer
    Interval = 250
    OnTimer = Tick
  end
  object Flash1: TFlashFrame
    Left = 1
    object Inner: TButton
    end
  end
  object Label2: TLabel
    Caption = 'x'
    Colour = clRed
    Alignment = taSideways
  end
end
)";

TEST(FormReader, BuildsAPageByClassAndPropertyName) {
  std::vector<std::string> problems;
  TForm* shown = nullptr;
  TForm root;
  root.RegisterMethod("FormShow", [&](TComponent* s) { shown = static_cast<TForm*>(s); });
  int nextClicks = 0;
  root.RegisterMethod("NextClick", [&](TComponent*) { ++nextClicks; });
  ASSERT_TRUE(ReadForm(root, kPage, &problems));

  EXPECT_EQ(root.Name(), "Welcome");
  EXPECT_EQ(root.Caption(), "Welcome to 'Wattline'");
  EXPECT_EQ(root.ClientWidth(), 462);
  EXPECT_EQ(root.ClientHeight(), 181);
  EXPECT_EQ(root.GetPropText("BorderStyle"), "bsDialog");
  auto* edit = dynamic_cast<TEdit*>(root.FindComponent("edit1"));
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->Parent(), &root);
  EXPECT_EQ(edit->GetText(), "C:\\Program Files\\Wattline");
  EXPECT_EQ(edit->Hint(), "TARGETDIR");
  EXPECT_EQ(edit->Tag(), 2);
  EXPECT_EQ(edit->BoundsRect().Right, 361);
  auto* label = dynamic_cast<TLabel*>(root.FindComponent("Label1"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->GetPropText("Font.Style"), "[fsBold]");
  // AutoSize: once loaded, the label fits its caption, not the stored width.
  EXPECT_GT(label->Width(), 20);
  EXPECT_LT(label->Width(), 200);
  auto* combo = dynamic_cast<TComboBox*>(root.FindComponent("ComboBox1"));
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->GetText(), "Complete");  // ItemIndex came before the items
  auto* pc = dynamic_cast<TPageControl*>(root.FindComponent("PageControl1"));
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->ActivePage()->Name(), "TabSheet2");  // named before the sheets existed
  EXPECT_EQ(combo->Parent()->Name(), "TabSheet2");
  auto* sb = dynamic_cast<TStatusBar*>(root.FindComponent("StatusBar1"));
  ASSERT_NE(sb, nullptr);
  ASSERT_EQ(sb->PanelCount(), 2);
  EXPECT_EQ(sb->Panel(0).Width, 120);
  EXPECT_EQ(sb->PanelText(1), "ready");
  auto* timer = dynamic_cast<TTimer*>(root.FindComponent("Timer1"));
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->Interval(), 250);

  // Events bound by method name; missing methods are reported.
  auto* next = dynamic_cast<TButton*>(root.FindComponent("btn_Next"));
  ASSERT_NE(next, nullptr);
  next->Click();
  EXPECT_EQ(nextClicks, 1);
  root.Show();
  EXPECT_EQ(shown, &root);

  // Unknown class (with its children), unknown property, bad value.
  EXPECT_EQ(root.FindComponent("Flash1"), nullptr);
  EXPECT_EQ(root.FindComponent("Inner"), nullptr);
  auto has = [&](const std::string& fragment) {
    for (const std::string& p : problems)
      if (p.find(fragment) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(has("unknown class TFlashFrame of Flash1"));
  EXPECT_TRUE(has("Label2 (TLabel) has no property Colour"));
  EXPECT_TRUE(has("taSideways is not valid for Label2 (TLabel).Alignment"));
  EXPECT_TRUE(has("method Edit1Change"));
  EXPECT_TRUE(has("method Tick"));
  EXPECT_EQ(problems.size(), 5u) << ::testing::PrintToString(problems);
  for (const std::string& p : problems) EXPECT_EQ(p.rfind("line ", 0), 0u) << p;
}

TEST(FormReader, PageFromTextLooksAsDesigned) {
  std::unique_ptr<TForm> f = CreateFormFromText(kPage);
  ASSERT_NE(f, nullptr);
  f->Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(f->Widget()));
  QImage img = f->Widget()->grab().toImage();
  EXPECT_EQ(img.size(), QSize(462, 181));
  QDir().mkpath(UI_TEST_OUTPUT_DIR);
  EXPECT_TRUE(img.save(QString(UI_TEST_OUTPUT_DIR) + "/page_from_text.png"));
}

TEST(FormReader, CreateFormFromTextAndBadText) {
  std::vector<std::string> problems;
  std::unique_ptr<TForm> f = CreateFormFromText(kPage, nullptr, &problems);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->ClassName(), "TForm");  // the page's own class is a form
  EXPECT_FALSE(f->Visible());
  std::unique_ptr<TForm> shown = CreateFormFromText("object S: TForm\n  Visible = True\n  Left = 40\nend\n");
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(shown->Widget()->isVisible());  // shown once built
  EXPECT_EQ(shown->Left(), 40);               // designed position by default
  EXPECT_NE(f->FindComponent("btn_Next"), nullptr);
  problems.clear();
  EXPECT_EQ(CreateFormFromText("object X: TForm\n  Left = \nend", nullptr, &problems), nullptr);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind("line 3: ", 0), 0u) << problems[0];
}

TEST(FormReader, DuplicateNamesAreReportedAndTheSecondStaysUnnamed) {
  std::vector<std::string> problems;
  TForm root;
  ASSERT_TRUE(ReadForm(root,
                       "object F: TForm\n object A: TButton\n end\n object a: TEdit\n Text = 'x'\n end\nend\n",
                       &problems));
  ASSERT_EQ(root.ComponentCount(), 2);
  EXPECT_EQ(root.Components(1)->Name(), "");
  EXPECT_EQ(root.Components(1)->GetPropText("Text"), "x");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("line 4"), std::string::npos);
}

}  // namespace
}  // namespace ui
