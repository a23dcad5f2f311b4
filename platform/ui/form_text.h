// The textual form format: a parser that turns form text into a tree of
// objects and properties, with no knowledge of any control class.
//
//   object Name: TClass          (also "inherited" / "inline", "[n]" index)
//     Left = 10                  numbers: 10, -3, 1.5, 1.5E3, $FF
//     Caption = 'It''s'#13#10 +  strings: quoted parts, #nnn characters,
//       'more'                     '+' joins parts across lines
//     Align = alClient           identifiers (also dotted)
//     Anchors = [akLeft, akTop]  sets
//     Items.Strings = ('a' 'b')  lists of values
//     Picture.Data = {0A54...}   binary data as hex digits
//     Panels = <item Width = 50 end item end>   collections
//     object Child: TButton ... end
//   end
//
// Invariants:
//  1. The parser never throws and never reads outside its input; every
//     failure is a result with the line number and a message.
//  2. Nesting (objects, lists, collections) is limited to kMaxDepth levels.
//  3. Text is UTF-8 out: input that is not valid UTF-8 is read as
//     Windows-1252; #nnn above 127 is the Unicode character nnn.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ui {

struct TFormItem;

struct TFormValue {
  enum Kind { String, Integer, Float, Ident, Set, List, Binary, Collection };
  Kind kind = String;
  std::string text;  // String, Ident, Float (as written), Binary (raw bytes)
  long long integer = 0;
  std::vector<std::string> set;
  std::vector<TFormValue> list;
  std::vector<TFormItem> items;
};

struct TFormProperty {
  std::string name;
  TFormValue value;
  int line = 0;
};

struct TFormItem {
  std::vector<TFormProperty> props;
};

struct TFormObject {
  std::string name;
  std::string className;
  bool inherited = false;
  std::vector<TFormProperty> props;
  std::vector<TFormObject> children;
  int line = 0;
};

struct TFormParseResult {
  bool ok = false;
  std::string error;  // "line N: ..."
  int errorLine = 0;
  TFormObject root;
};

constexpr int kMaxFormDepth = 64;

TFormParseResult ParseFormText(std::string_view text);

// The value as SetPropText takes it: strings as they are, numbers in
// decimal, identifiers as written, sets as "[a,b]"; lists and collections
// have no text form (empty).
std::string FormValueText(const TFormValue& v);

}  // namespace ui
