// The standard controls: labels, edits, memos, buttons, check boxes, radio
// buttons, combo and list boxes, group boxes, radio groups, panels, images,
// bevels and shapes.
//
// Events follow the class library the programs were written against:
//  - OnChange of edits and memos fires on every change of the text, also a
//    change made by the program;
//  - OnClick of check boxes, radio buttons and radio groups fires when the
//    checked state / ItemIndex changes, by the user or by the program;
//  - OnClick and OnChange of combo and list boxes fire only for the user's
//    own selection or typing.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/controls.h"

class QLabel;
class QLineEdit;

namespace ui {

enum class TTextLayout { tlTop, tlCenter, tlBottom };
enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum class TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum class TBorderStyle { bsNone, bsSingle };
enum class TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum class TBevelStyle { bsLowered, bsRaised };
enum class TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void SetText(std::string_view text) override;
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout l);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool ShowAccelChar() const { return showAccel_; }
  void SetShowAccelChar(bool v);
  void Loaded() override { AdjustSize(); }

 protected:
  TLabel(TComponent* owner, QLabel* widget);
  void ApplyFont() override;
  void AdjustSize();
  void UpdateText();
  void UpdateAlignment();
  QLabel* label_;

 private:
  bool autoSize_ = true, wordWrap_ = false, transparent_ = false, showAccel_ = true;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TTextLayout layout_ = TTextLayout::tlTop;
};

// A label with a border; used for texts the program refreshes.
class TStaticText : public TLabel {
 public:
  explicit TStaticText(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);

 private:
  TBorderStyle borderStyle_ = TBorderStyle::bsNone;
};

class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  std::string GetText() const override;
  void SetText(std::string_view text) override;
  int MaxLength() const;
  void SetMaxLength(int v);
  bool ReadOnly() const;
  void SetReadOnly(bool v);
  std::string PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(std::string_view c);
  void SelectAll();
  int SelLength() const;

  TNotifyEvent OnChange;

 protected:
  TEdit(TComponent* owner, int);
  QLineEdit* edit_;

 private:
  std::string passwordChar_;
};

// An edit with an input mask in the class library's notation
// ("!99/99/0000;1;_": mask, keep literals, blank character).
class TMaskEdit : public TEdit {
 public:
  explicit TMaskEdit(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  const std::string& EditMask() const { return mask_; }
  void SetEditMask(std::string_view mask);
  std::string GetText() const override;
  // Every required position of the mask is filled.
  bool MaskComplete() const;

 private:
  std::string mask_;
  bool saveLiterals_ = true;
};

// Converts a mask of the class library's notation into Qt's input-mask
// notation; also gives whether literals are part of the text.
std::string MaskToQtInputMask(std::string_view mask, bool* saveLiterals = nullptr);

class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  // Lines joined by CR LF, no line end after the last one.
  std::string GetText() const override;
  void SetText(std::string_view text) override;
  TItems& Lines();
  bool ReadOnly() const;
  void SetReadOnly(bool v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  // Kept as given; typing beyond it is refused when above 0.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int v) { maxLength_ = v; }
  // The vertical scroll bar: whether it is shown, and its range.
  bool HasVertScrollBar() const;
  void VertScrollInfo(int& min, int& max, int& page, int& pos) const;

  TNotifyEvent OnChange;
  // Fires when the text is scrolled vertically.
  TNotifyEvent OnScroll;

 private:
  void SyncLines() const;
  mutable TItems lines_;
  mutable bool linesValid_ = true;
  bool pushing_ = false;
  bool wordWrap_ = true;
  int maxLength_ = 0;
  TScrollStyle scrollBars_ = TScrollStyle::ssNone;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void SetText(std::string_view text) override;
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int v) { modalResult_ = v; }
  // Sets the form's modal result (when not mrNone), then runs OnClick.
  void Click() override;

 protected:
  TButton(TComponent* owner, int);

 private:
  bool default_ = false, cancel_ = false;
  int modalResult_ = 0;
};

class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TBitBtnKind Kind() const { return kind_; }
  // A kind other than bkCustom gives its caption (when none is set) and its
  // modal result.
  void SetKind(TBitBtnKind k);
  // The glyph from image bytes (BMP, PNG, ...); false if unreadable.
  bool SetGlyphData(const std::string& bytes);

 private:
  TBitBtnKind kind_ = TBitBtnKind::bkCustom;
};

class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void SetText(std::string_view text) override;
  bool Checked() const { return State() == TCheckBoxState::cbChecked; }
  void SetChecked(bool v) { SetState(v ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked); }
  TCheckBoxState State() const;
  void SetState(TCheckBoxState s);
  bool AllowGrayed() const;
  void SetAllowGrayed(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);

 private:
  TAlignment alignment_ = TAlignment::taRightJustify;
};

class TRadioButton : public TWinControl {
 public:
  explicit TRadioButton(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void SetText(std::string_view text) override;
  bool Checked() const;
  // Checking one unchecks the other radio buttons of the same parent.
  void SetChecked(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);

 private:
  TAlignment alignment_ = TAlignment::taRightJustify;
};

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TItems& Items() { return items_; }
  const TItems& Items() const { return items_; }
  int ItemIndex() const;
  void SetItemIndex(int i);
  std::string GetText() const override;
  // Drop-down lists select the item of that text (ignoring case), or none.
  void SetText(std::string_view text) override;
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle s);
  int DropDownCount() const;
  void SetDropDownCount(int n);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int v);

  TNotifyEvent OnChange, OnSelect;

 private:
  void ItemsChanged();
  TItems items_;
  TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
  bool sorted_ = false;
  int maxLength_ = 0;
  bool updating_ = false;
};

class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TItems& Items() { return items_; }
  const TItems& Items() const { return items_; }
  int ItemIndex() const;
  void SetItemIndex(int i);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool v);
  bool ExtendedSelect() const { return extendedSelect_; }
  void SetExtendedSelect(bool v);
  bool Selected(int i) const;
  void SetSelected(int i, bool v);
  int SelCount() const;
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);

 private:
  void ItemsChanged();
  void ApplySelectionMode();
  TItems items_;
  bool multiSelect_ = false, extendedSelect_ = true, sorted_ = false;
  bool updating_ = false;
};

class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void SetText(std::string_view text) override;
};

class TRadioGroup : public TWinControl {
 public:
  explicit TRadioGroup(TComponent* owner);
  ~TRadioGroup() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void SetText(std::string_view text) override;
  TItems& Items() { return items_; }
  const TItems& Items() const { return items_; }
  int ItemIndex() const { return itemIndex_; }
  // Fires OnClick when the index changes.
  void SetItemIndex(int i);
  int Columns() const { return columns_; }
  void SetColumns(int n);
  // The radio button widget of item i (tests click it).
  QWidget* ButtonWidget(int i) const;

 protected:
  void Resized() override;
  void ApplyFont() override;

 private:
  void Rebuild();
  void Arrange();
  TItems items_;
  std::vector<QWidget*> buttons_;
  int itemIndex_ = -1;
  int columns_ = 1;
  bool updating_ = false;
};

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void SetText(std::string_view text) override;
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; Repaint(); }
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut b) { bevelOuter_ = b; Repaint(); }
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut b) { bevelInner_ = b; Repaint(); }
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int w) { bevelWidth_ = w; Repaint(); }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s) { borderStyle_ = s; Repaint(); }

 protected:
  bool WidgetEvent(QEvent* e) override;

 private:
  TAlignment alignment_ = TAlignment::taCenter;
  TBevelCut bevelOuter_ = TBevelCut::bvRaised, bevelInner_ = TBevelCut::bvNone;
  int bevelWidth_ = 1;
  TBorderStyle borderStyle_ = TBorderStyle::bsNone;
};

class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  // Loads a picture file (BMP, PNG, JPEG, ...); false if unreadable.
  bool LoadFromFile(const std::string& hostPath);
  // Picture bytes as the form text keeps them (class name, then the data)
  // or a bare image file's bytes.
  bool LoadFromData(const std::string& bytes);
  bool Empty() const;
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v);
  bool Proportional() const { return proportional_; }
  void SetProportional(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { transparent_ = v; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);

 protected:
  bool WidgetEvent(QEvent* e) override;

 private:
  bool stretch_ = false, center_ = false, proportional_ = false, transparent_ = false, autoSize_ = false;
};

class TBevel : public TControl {
 public:
  explicit TBevel(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape s) { shape_ = s; Repaint(); }
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle s) { style_ = s; Repaint(); }

 protected:
  bool WidgetEvent(QEvent* e) override;

 private:
  TBevelShape shape_ = TBevelShape::bsBox;
  TBevelStyle style_ = TBevelStyle::bsLowered;
};

class TShape : public TControl {
 public:
  explicit TShape(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TShapeType Shape() const { return shape_; }
  void SetShape(TShapeType s) { shape_ = s; Repaint(); }
  TColor BrushColor() const { return brushColor_; }
  void SetBrushColor(TColor c) { brushColor_ = c; Repaint(); }
  TColor PenColor() const { return penColor_; }
  void SetPenColor(TColor c) { penColor_ = c; Repaint(); }
  int PenWidth() const { return penWidth_; }
  void SetPenWidth(int w) { penWidth_ = w; Repaint(); }
  bool BrushClear() const { return brushClear_; }
  void SetBrushClear(bool v) { brushClear_ = v; Repaint(); }

 protected:
  bool WidgetEvent(QEvent* e) override;

 private:
  TShapeType shape_ = TShapeType::stRectangle;
  TColor brushColor_ = clWhite, penColor_ = clBlack;
  int penWidth_ = 1;
  bool brushClear_ = false;
};

extern const TEnumNames kTextLayoutNames, kScrollStyleNames, kCheckBoxStateNames, kComboBoxStyleNames,
    kBitBtnKindNames, kBevelCutNames, kBorderStyle2Names, kBevelShapeNames, kBevelStyleNames, kShapeTypeNames;

}  // namespace ui
