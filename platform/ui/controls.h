// Controls over Qt widgets: TControl (one QWidget each), TWinControl (a
// control that parents other controls), fonts, alignment and anchors, and
// TItems, the item list of list-like controls.
//
// Invariants:
//  1. Left, Top, Width and Height are the exact pixel geometry of the widget
//     inside its parent's client area; nothing rescales them.
//  2. A control is shown on screen only once it has a parent; Visible is its
//     own flag and survives re-parenting.
//  3. Destroying a TWinControl destroys its child controls first (each
//     leaves its owner's list), then its own widget; no event of a control
//     runs while it is being destroyed.
//  4. Children with Align other than alNone are laid out by their parent
//     whenever its client size changes, in the order top, bottom, left,
//     right, client; anchored children keep their distances to the parent's
//     right and bottom edges when akRight / akBottom are set.
//  5. Qt types appear here only as forward declarations; widget() exposes
//     the QWidget for tests and for programs that draw on their own.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/string_list.h"
#include "platform/ui/component.h"

class QWidget;
class QEvent;

namespace ui {

class TWinControl;
class TForm;
class TWidgetHook;

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftKind : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = unsigned;

using TMouseEvent = std::function<void(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
// Key is a virtual-key code (VK_RETURN 13, VK_ESCAPE 27, letters and digits
// as their upper-case ASCII codes); a handler may set it to 0 to swallow it.
using TKeyEvent = std::function<void(TComponent* Sender, int& Key, TShiftState Shift)>;

struct TFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;  // negative: character height in pixels
  unsigned Style = 0;
  TColor Color = clWindowText;
  int Charset = 1;  // DEFAULT_CHARSET
  int Size() const;  // points at 96 pixels per inch
  void SetSize(int points);
  bool operator==(const TFont&) const = default;
};

extern const TEnumNames kAlignNames, kAnchorNames, kFontStyleNames, kAlignmentNames;

// Items of a list box, combo box or radio group: a string list whose
// control follows every change.
class TItems {
 public:
  int Count() const { return list_.Count(); }
  std::string operator[](int i) const { return list_.Get(i); }
  std::string Get(int i) const { return list_.Get(i); }
  void Set(int i, std::string s);
  int Add(std::string s);
  void Insert(int i, std::string s);
  void Delete(int i);
  void Clear();
  int IndexOf(std::string_view s) const { return list_.IndexOf(s); }
  std::string Text() const { return list_.Text(); }
  void SetText(std::string_view text);
  std::string CommaText() const { return list_.CommaText(); }
  void SetCommaText(std::string_view text);
  void Assign(const base::TStringList& l);
  void Assign(const std::vector<std::string>& lines);
  const base::TStringList& List() const { return list_; }
  void BeginUpdate() { ++updating_; }
  void EndUpdate();

  std::function<void()> OnChange;  // set by the owning control

 private:
  void Changed();
  base::TStringList list_;
  int updating_ = 0;
  bool pending_ = false;
};

class TControl : public TComponent {
 public:
  ~TControl() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  QWidget* Widget() const { return widget_; }

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  // The form this control sits on (itself for a form), or null.
  TForm* ParentForm() const;

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return {Left(), Top(), Left() + Width(), Top() + Height()}; }
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }
  virtual void SetClientWidth(int v) { SetWidth(v); }
  virtual void SetClientHeight(int v) { SetHeight(v); }

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent up to a shown form visible.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v);

  // Caption and Text are the same value; a class publishes the name it uses.
  virtual std::string GetText() const { return text_; }
  virtual void SetText(std::string_view text);
  std::string Caption() const { return GetText(); }
  void SetCaption(std::string_view t) { SetText(t); }

  const TFont& Font() const { return font_; }
  void SetFont(const TFont& f);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool v);

  TAlign Align() const { return align_; }
  virtual void SetAlign(TAlign a);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors a) { anchors_ = a; }
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string_view h);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);
  int Cursor() const { return cursor_; }
  void SetCursor(int c) { cursor_ = c; }

  // Runs the click action: a button's modal result, then OnClick.
  virtual void Click();
  void BringToFront();
  void Repaint();

  TNotifyEvent OnClick, OnDblClick, OnResize;
  TMouseEvent OnMouseDown, OnMouseUp;

 protected:
  TControl(TComponent* owner, QWidget* widget);
  // Events of the widget, seen before the widget handles them; true eats it.
  virtual bool WidgetEvent(QEvent* e);
  // Called after the control's size changed (widget resized).
  virtual void Resized();
  virtual void ApplyFont();
  virtual void ApplyColor();
  // A control whose widget fires clicks itself (buttons, check boxes) does
  // not want mouse releases turned into clicks.
  bool clicksFromMouse_ = true;
  bool fillsBackground_ = false;
  // Plain surfaces (labels, panels, images, forms) take mouse presses
  // themselves so that the release arrives and no parent sees the click.
  bool passiveMouse_ = false;
  // Outer size minus client size (forms only: the window frame).
  int frameW_ = 0, frameH_ = 0;
  bool parentColor_ = false;
  void InheritFromParent();
  void CheckResized();

 private:
  friend class TWinControl;
  friend class TForm;
  friend class TWidgetHook;
  QWidget* widget_ = nullptr;
  TWidgetHook* hook_ = nullptr;
  TWinControl* parent_ = nullptr;
  bool visible_ = true;
  bool enabled_ = true;
  std::string text_;
  TFont font_;
  bool parentFont_ = true;
  TColor color_ = clBtnFace;
  TAlign align_ = TAlign::alNone;
  TAnchors anchors_ = akLeft | akTop;
  std::string hint_;
  bool showHint_ = false;
  int cursor_ = 0;
  int lastW_ = -1, lastH_ = -1;
};

class TWinControl : public TControl {
 public:
  ~TWinControl() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int i) const { return controls_.at(static_cast<std::size_t>(i)); }
  // Where child widgets go (the widget itself unless a class says otherwise).
  virtual QWidget* ClientWidget() const { return Widget(); }

  int TabOrder() const;
  void SetTabOrder(int v);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v);
  bool Focused() const;
  void SetFocus();
  bool CanFocus() const;
  // The next control in tab order after `current` among this control's
  // descendants (wrapping), or null.
  TWinControl* FindNextControl(TWinControl* current, bool forward = true) const;

  // Lays out aligned and anchored children for the present client size.
  void Realign();

  TNotifyEvent OnEnter, OnExit;
  TKeyEvent OnKeyDown, OnKeyUp;

 protected:
  TWinControl(TComponent* owner, QWidget* widget);
  bool WidgetEvent(QEvent* e) override;
  void Resized() override;
  virtual void ControlAdded(TControl*) {}
  virtual void ControlRemoved(TControl*) {}
  void ApplyTabChain();

 private:
  friend class TControl;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  bool tabStop_ = true;
  int alignW_ = -1, alignH_ = -1;
  bool aligning_ = false;
};

// Converts between Qt key codes and virtual-key codes (used by key events).
int VirtualKeyFromQt(int qtKey);

}  // namespace ui
