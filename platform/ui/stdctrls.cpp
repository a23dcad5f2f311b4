// The standard controls on their Qt widgets.
#include "platform/ui/stdctrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPaintEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>
#include <cstring>

#include "platform/ui/forms.h"
#include "platform/ui/prop_helpers.h"
#include "platform/ui/qt_util.h"

namespace ui {

const TEnumNames kTextLayoutNames = {"tlTop", "tlCenter", "tlBottom"};
const TEnumNames kScrollStyleNames = {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"};
const TEnumNames kCheckBoxStateNames = {"cbUnchecked", "cbChecked", "cbGrayed"};
const TEnumNames kComboBoxStyleNames = {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed",
                                        "csOwnerDrawVariable"};
const TEnumNames kBitBtnKindNames = {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo",
                                     "bkClose", "bkAbort", "bkRetry", "bkIgnore", "bkAll"};
const TEnumNames kBevelCutNames = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
const TEnumNames kBorderStyle2Names = {"bsNone", "bsSingle"};
const TEnumNames kBevelShapeNames = {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine",
                                     "bsRightLine", "bsSpacer"};
const TEnumNames kBevelStyleNames = {"bsLowered", "bsRaised"};
const TEnumNames kShapeTypeNames = {"stRectangle", "stSquare", "stRoundRect", "stRoundSquare", "stEllipse",
                                    "stCircle"};

namespace {

TPropInfo CaptionProp(const char* name = "Caption") {
  return props::Str<TControl>(name, [](const TControl& c) { return c.GetText(); },
                              [](TControl& c, std::string_view v) { c.SetText(v); });
}

Qt::Alignment HAlign(TAlignment a) {
  switch (a) {
    case TAlignment::taRightJustify: return Qt::AlignRight;
    case TAlignment::taCenter: return Qt::AlignHCenter;
    default: return Qt::AlignLeft;
  }
}

// Picture bytes of form text start with the picture class name as a short
// string ("\x07TBitmap"); bitmaps then carry their size as 4 bytes.
QImage ImageFromPictureData(const std::string& bytes) {
  QImage img;
  auto tryLoad = [&](std::size_t off) {
    if (off >= bytes.size()) return false;
    return img.loadFromData(reinterpret_cast<const uchar*>(bytes.data() + off),
                            static_cast<int>(bytes.size() - off));
  };
  if (!bytes.empty()) {
    std::size_t n = static_cast<unsigned char>(bytes[0]);
    if (n > 0 && n < 64 && 1 + n <= bytes.size() && bytes[1] == 'T') {
      if (tryLoad(1 + n) || tryLoad(1 + n + 4)) return img;
    }
  }
  tryLoad(0) || tryLoad(4);
  return img;
}

TClassInfo Derived(const char* name, const TClassInfo& parent) {
  TClassInfo ci;
  ci.Name = name;
  ci.Parent = &parent;
  return ci;
}

}  // namespace

// --- TLabel -------------------------------------------------------------------------

const TClassInfo& TLabel::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TLabel;
    TClassInfo ci = Derived("TLabel", TControl::StaticClassInfo());
    ci.Props = {CaptionProp(), UI_BOOL(C, AutoSize), UI_BOOL(C, WordWrap),
                UI_ENUM(C, TAlignment, Alignment, kAlignmentNames), UI_ENUM(C, TTextLayout, Layout, kTextLayoutNames),
                UI_BOOL(C, Transparent), UI_BOOL(C, ShowAccelChar), props::Stored("FocusControl")};
    ci.Create = [](TComponent* o) -> TComponent* { return new TLabel(o); };
    return ci;
  }();
  return info;
}

TLabel::TLabel(TComponent* owner) : TLabel(owner, new QLabel) {}

TLabel::TLabel(TComponent* owner, QLabel* widget) : TControl(owner, widget), label_(widget) {
  passiveMouse_ = true;
  parentColor_ = true;
  label_->setTextFormat(Qt::PlainText);
  UpdateAlignment();
  ApplyFont();
  SetBounds(0, 0, 65, 13);
}

void TLabel::SetText(std::string_view text) {
  TControl::SetText(text);
  UpdateText();
}

void TLabel::UpdateText() {
  std::string t = GetText();
  label_->setText(showAccel_ ? PlainCaption(t) : QStr(t));
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (!autoSize_ || Loading()) return;
  QSize s;
  if (wordWrap_) {
    int h = label_->heightForWidth(std::max(1, Width()));
    s = QSize(Width(), std::max(h, label_->fontMetrics().height()));
  } else {
    QFontMetrics fm(label_->font());
    QString t = label_->text();
    int w = 0;
    for (const QString& line : t.split('\n')) w = std::max(w, fm.horizontalAdvance(line));
    s = QSize(w, fm.height() * std::max<qsizetype>(1, t.split('\n').size()));
  }
  if (s.width() != Width() || s.height() != Height()) SetBounds(Left(), Top(), s.width(), s.height());
}

void TLabel::ApplyFont() {
  TControl::ApplyFont();
  AdjustSize();
}

void TLabel::SetAutoSize(bool v) { autoSize_ = v; AdjustSize(); }
void TLabel::SetWordWrap(bool v) { wordWrap_ = v; label_->setWordWrap(v); AdjustSize(); }
void TLabel::SetAlignment(TAlignment a) { alignment_ = a; UpdateAlignment(); }
void TLabel::SetLayout(TTextLayout l) { layout_ = l; UpdateAlignment(); }
void TLabel::SetShowAccelChar(bool v) { showAccel_ = v; UpdateText(); }

void TLabel::SetTransparent(bool v) {
  transparent_ = v;
  fillsBackground_ = !v && !ParentColor();
  label_->setAutoFillBackground(fillsBackground_);
  ApplyColor();
}

void TLabel::UpdateAlignment() {
  Qt::Alignment v = layout_ == TTextLayout::tlCenter ? Qt::AlignVCenter
                    : layout_ == TTextLayout::tlBottom ? Qt::AlignBottom : Qt::AlignTop;
  label_->setAlignment(HAlign(alignment_) | v);
}

const TClassInfo& TStaticText::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TStaticText;
    TClassInfo ci = Derived("TStaticText", TLabel::StaticClassInfo());
    ci.Props = {UI_ENUM(C, TBorderStyle, BorderStyle, kBorderStyle2Names)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TStaticText(o); };
    return ci;
  }();
  return info;
}

TStaticText::TStaticText(TComponent* owner) : TLabel(owner) {}

void TStaticText::SetBorderStyle(TBorderStyle s) {
  borderStyle_ = s;
  label_->setFrameStyle(s == TBorderStyle::bsSingle ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
}

// --- TEdit / TMaskEdit ---------------------------------------------------------------

const TClassInfo& TEdit::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TEdit;
    TClassInfo ci = Derived("TEdit", TWinControl::StaticClassInfo());
    ci.Props = {CaptionProp("Text"), UI_INT(C, MaxLength), UI_BOOL(C, ReadOnly), UI_STR(C, PasswordChar),
                props::Stored("AutoSelect", TPropKind::Boolean), props::Stored("AutoSize", TPropKind::Boolean),
                props::Stored("BorderStyle", TPropKind::Enum), props::Stored("CharCase", TPropKind::Enum)};
    ci.Events = {UI_EVENT(C, OnChange)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TEdit(o); };
    return ci;
  }();
  return info;
}

TEdit::TEdit(TComponent* owner) : TEdit(owner, 0) {}

TEdit::TEdit(TComponent* owner, int) : TWinControl(owner, new QLineEdit) {
  edit_ = static_cast<QLineEdit*>(Widget());
  clicksFromMouse_ = true;
  fillsBackground_ = true;
  TControl::SetColor(clWindow);
  ApplyFont();
  SetBounds(0, 0, 121, 21);
  QObject::connect(edit_, &QLineEdit::textChanged, edit_, [this] {
    if (!Destroying()) Fire(OnChange, this);
  });
}

std::string TEdit::GetText() const { return StdStr(edit_->text()); }
void TEdit::SetText(std::string_view text) {
  if (edit_->text() != QStr(text)) edit_->setText(QStr(text));
}
int TEdit::MaxLength() const { return edit_->maxLength() == 32767 ? 0 : edit_->maxLength(); }
void TEdit::SetMaxLength(int v) { edit_->setMaxLength(v > 0 ? v : 32767); }
bool TEdit::ReadOnly() const { return edit_->isReadOnly(); }
void TEdit::SetReadOnly(bool v) { edit_->setReadOnly(v); }
void TEdit::SetPasswordChar(std::string_view c) {
  passwordChar_ = std::string(c);
  edit_->setEchoMode(c.empty() || c == "#0" ? QLineEdit::Normal : QLineEdit::Password);
}
void TEdit::SelectAll() { edit_->selectAll(); }
int TEdit::SelLength() const { return static_cast<int>(edit_->selectedText().size()); }

const TClassInfo& TMaskEdit::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TMaskEdit;
    TClassInfo ci = Derived("TMaskEdit", TEdit::StaticClassInfo());
    ci.Props = {props::Str<C>("EditMask", [](const C& c) { return c.EditMask(); },
                              [](C& c, std::string_view v) { c.SetEditMask(v); })};
    ci.Create = [](TComponent* o) -> TComponent* { return new TMaskEdit(o); };
    return ci;
  }();
  return info;
}

TMaskEdit::TMaskEdit(TComponent* owner) : TEdit(owner, 0) {}

std::string MaskToQtInputMask(std::string_view mask, bool* saveLiterals) {
  // Fields after the mask: keep literals ('0' no), blank character.
  std::string body(mask);
  char blank = '_';
  bool keep = true;
  std::size_t semi = std::string::npos;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\\') { ++i; continue; }
    if (body[i] == ';') { semi = i; break; }
  }
  if (semi != std::string::npos) {
    std::string rest = body.substr(semi + 1);
    body.resize(semi);
    std::size_t s2 = rest.find(';');
    std::string keepField = rest.substr(0, s2);
    if (!keepField.empty()) keep = keepField[0] != '0';
    if (s2 != std::string::npos && s2 + 1 < rest.size()) blank = rest[s2 + 1];
  }
  if (saveLiterals) *saveLiterals = keep;
  std::string q;
  static const char* qtSpecial = "AaNnXx90Dd#HhBb><!{}[]";
  for (std::size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    switch (c) {
      case '0': q += '9'; break;   // digit required
      case '9': q += '0'; break;   // digit optional
      case '#': q += '#'; break;   // digit or sign, optional
      case 'L': q += 'A'; break;   // letter required
      case 'l': q += 'a'; break;   // letter optional
      case 'A': q += 'N'; break;   // letter or digit required
      case 'a': q += 'n'; break;   // letter or digit optional
      case 'C': q += 'X'; break;   // any character required
      case 'c': q += 'x'; break;   // any character optional
      case '>':
        if (i + 1 < body.size() && body[i + 1] == '<') { q += '!'; ++i; }
        else q += '>';
        break;
      case '<': q += '<'; break;
      case '!': break;  // blank handling only
      case '\\':
        if (i + 1 < body.size()) { q += '\\'; q += body[++i]; }
        break;
      default:
        if (std::strchr(qtSpecial, c)) q += '\\';
        q += c;
        break;
    }
  }
  if (!q.empty()) {
    q += ';';
    q += blank == ' ' ? ' ' : blank;
  }
  return q;
}

void TMaskEdit::SetEditMask(std::string_view mask) {
  mask_ = std::string(mask);
  edit_->setInputMask(QStr(MaskToQtInputMask(mask, &saveLiterals_)));
}

std::string TMaskEdit::GetText() const { return StdStr(edit_->text()); }
bool TMaskEdit::MaskComplete() const { return mask_.empty() || edit_->hasAcceptableInput(); }

// --- TMemo --------------------------------------------------------------------------

const TClassInfo& TMemo::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TMemo;
    TClassInfo ci = Derived("TMemo", TWinControl::StaticClassInfo());
    ci.Props = {CaptionProp("Text"), UI_BOOL(C, ReadOnly), UI_BOOL(C, WordWrap),
                UI_ENUM(C, TScrollStyle, ScrollBars, kScrollStyleNames), UI_INT(C, MaxLength),
                props::Stored("Alignment", TPropKind::Enum), props::Stored("BorderStyle", TPropKind::Enum),
                props::Stored("WantReturns", TPropKind::Boolean), props::Stored("WantTabs", TPropKind::Boolean)};
    props::Lines<C>(ci, "Lines", [](C& c) -> TItems& { return c.Lines(); });
    ci.Events = {UI_EVENT(C, OnChange), UI_EVENT(C, OnScroll)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TMemo(o); };
    return ci;
  }();
  return info;
}

TMemo::TMemo(TComponent* owner) : TWinControl(owner, new QPlainTextEdit) {
  auto* e = static_cast<QPlainTextEdit*>(Widget());
  clicksFromMouse_ = true;
  fillsBackground_ = true;
  TControl::SetColor(clWindow);
  ApplyFont();
  SetBounds(0, 0, 185, 89);
  SetScrollBars(TScrollStyle::ssNone);
  lines_.OnChange = [this, e] {
    if (pushing_) return;
    pushing_ = true;
    std::string t;
    for (int i = 0; i < lines_.Count(); ++i) {
      if (i) t += '\n';
      t += lines_[i];
    }
    e->setPlainText(QStr(t));
    pushing_ = false;
  };
  QObject::connect(e, &QPlainTextEdit::textChanged, e, [this, e] {
    if (Destroying()) return;
    if (!pushing_) linesValid_ = false;
    if (maxLength_ > 0 && e->toPlainText().size() > maxLength_ && !pushing_) {
      // Typing beyond MaxLength is undone.
      e->undo();
      return;
    }
    Fire(OnChange, this);
  });
  QObject::connect(e->verticalScrollBar(), &QScrollBar::valueChanged, e, [this] {
    if (!Destroying()) Fire(OnScroll, this);
  });
}

void TMemo::SyncLines() const {
  if (linesValid_) return;
  auto* e = static_cast<QPlainTextEdit*>(Widget());
  std::vector<std::string> v;
  QString t = e->toPlainText();
  if (!t.isEmpty())
    for (const QString& l : t.split('\n')) v.push_back(StdStr(l));
  auto* self = const_cast<TMemo*>(this);
  self->pushing_ = true;
  lines_.Assign(v);
  self->pushing_ = false;
  linesValid_ = true;
}

TItems& TMemo::Lines() {
  SyncLines();
  return lines_;
}

std::string TMemo::GetText() const {
  QString t = static_cast<QPlainTextEdit*>(Widget())->toPlainText();
  return StdStr(t.replace("\n", "\r\n"));
}

void TMemo::SetText(std::string_view text) {
  QString t = QStr(text);
  t.replace("\r\n", "\n").replace('\r', '\n');
  auto* e = static_cast<QPlainTextEdit*>(Widget());
  if (e->toPlainText() != t) e->setPlainText(t);
}

bool TMemo::ReadOnly() const { return static_cast<QPlainTextEdit*>(Widget())->isReadOnly(); }
void TMemo::SetReadOnly(bool v) { static_cast<QPlainTextEdit*>(Widget())->setReadOnly(v); }
void TMemo::SetWordWrap(bool v) {
  wordWrap_ = v;
  static_cast<QPlainTextEdit*>(Widget())->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}
void TMemo::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  auto* e = static_cast<QPlainTextEdit*>(Widget());
  bool v = s == TScrollStyle::ssVertical || s == TScrollStyle::ssBoth;
  bool h = s == TScrollStyle::ssHorizontal || s == TScrollStyle::ssBoth;
  e->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  e->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}
bool TMemo::HasVertScrollBar() const {
  auto* sb = static_cast<QPlainTextEdit*>(Widget())->verticalScrollBar();
  return scrollBars_ != TScrollStyle::ssNone && scrollBars_ != TScrollStyle::ssHorizontal && sb->maximum() > 0;
}
void TMemo::VertScrollInfo(int& min, int& max, int& page, int& pos) const {
  auto* sb = static_cast<QPlainTextEdit*>(Widget())->verticalScrollBar();
  min = sb->minimum();
  page = sb->pageStep();
  max = sb->maximum() + page - 1;  // the range a page covers, as scroll info counts it
  pos = sb->value();
}

// --- buttons ------------------------------------------------------------------------

const TClassInfo& TButton::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TButton;
    TClassInfo ci = Derived("TButton", TWinControl::StaticClassInfo());
    ci.Props = {CaptionProp(), UI_BOOL(C, Default), UI_BOOL(C, Cancel), UI_INT(C, ModalResult)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TButton(o); };
    return ci;
  }();
  return info;
}

TButton::TButton(TComponent* owner) : TButton(owner, 0) {}

TButton::TButton(TComponent* owner, int) : TWinControl(owner, new QPushButton) {
  auto* b = static_cast<QPushButton*>(Widget());
  b->setAutoDefault(false);
  ApplyFont();
  SetBounds(0, 0, 75, 25);
  QObject::connect(b, &QPushButton::clicked, b, [this] {
    if (!Destroying()) Click();
  });
}

void TButton::SetText(std::string_view text) {
  TControl::SetText(text);
  static_cast<QPushButton*>(Widget())->setText(QStr(text));
}

void TButton::SetDefault(bool v) {
  default_ = v;
  static_cast<QPushButton*>(Widget())->setDefault(v);
}

void TButton::Click() {
  if (modalResult_ != mrNone)
    if (TForm* f = ParentForm()) f->SetModalResult(modalResult_);
  TControl::Click();
}

const TClassInfo& TBitBtn::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TBitBtn;
    TClassInfo ci = Derived("TBitBtn", TButton::StaticClassInfo());
    ci.Props = {UI_ENUM(C, TBitBtnKind, Kind, kBitBtnKindNames), props::Stored("Layout", TPropKind::Enum),
                props::Stored("Spacing", TPropKind::Integer), props::Stored("Margin", TPropKind::Integer),
                props::Stored("NumGlyphs", TPropKind::Integer), props::Stored("Style", TPropKind::Enum)};
    TPropInfo glyph{"Glyph.Data", TPropKind::Binary, nullptr,
                    [](TComponent& c, std::string_view t) { return static_cast<C&>(c).SetGlyphData(std::string(t)); }};
    ci.Props.push_back(glyph);
    ci.Create = [](TComponent* o) -> TComponent* { return new TBitBtn(o); };
    return ci;
  }();
  return info;
}

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner, 0) {}

void TBitBtn::SetKind(TBitBtnKind k) {
  kind_ = k;
  static const char* captions[] = {"", "OK", "Cancel", "&Help", "&Yes", "&No", "&Close", "Abort", "&Retry", "&Ignore", "&All"};
  static const int results[] = {mrNone, mrOk, mrCancel, mrNone, mrYes, mrNo, mrNone, mrAbort, mrRetry, mrIgnore, mrAll};
  auto i = static_cast<std::size_t>(k);
  if (k != TBitBtnKind::bkCustom) {
    if (GetText().empty()) SetText(captions[i]);
    SetModalResult(results[i]);
    if (k == TBitBtnKind::bkOK || k == TBitBtnKind::bkYes) SetDefault(true);
    if (k == TBitBtnKind::bkCancel || k == TBitBtnKind::bkNo) SetCancel(true);
  }
}

bool TBitBtn::SetGlyphData(const std::string& bytes) {
  QImage img = ImageFromPictureData(bytes);
  if (img.isNull()) return true;  // an unreadable glyph leaves the button without one
  static_cast<QPushButton*>(Widget())->setIcon(QIcon(QPixmap::fromImage(img)));
  return true;
}

// --- check boxes and radio buttons ---------------------------------------------------

const TClassInfo& TCheckBox::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TCheckBox;
    TClassInfo ci = Derived("TCheckBox", TWinControl::StaticClassInfo());
    ci.Props = {CaptionProp(), UI_BOOL(C, Checked), UI_ENUM(C, TCheckBoxState, State, kCheckBoxStateNames),
                UI_BOOL(C, AllowGrayed), UI_ENUM(C, TAlignment, Alignment, kAlignmentNames)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TCheckBox(o); };
    return ci;
  }();
  return info;
}

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner, new QCheckBox) {
  auto* b = static_cast<QCheckBox*>(Widget());
  ApplyFont();
  SetBounds(0, 0, 97, 17);
  QObject::connect(b, &QCheckBox::stateChanged, b, [this] {
    if (!Destroying()) Click();
  });
}

void TCheckBox::SetText(std::string_view text) {
  TControl::SetText(text);
  static_cast<QCheckBox*>(Widget())->setText(QStr(text));
}

TCheckBoxState TCheckBox::State() const {
  switch (static_cast<QCheckBox*>(Widget())->checkState()) {
    case Qt::Checked: return TCheckBoxState::cbChecked;
    case Qt::PartiallyChecked: return TCheckBoxState::cbGrayed;
    default: return TCheckBoxState::cbUnchecked;
  }
}

void TCheckBox::SetState(TCheckBoxState s) {
  auto* b = static_cast<QCheckBox*>(Widget());
  if (s == TCheckBoxState::cbGrayed) b->setTristate(true);
  b->setCheckState(s == TCheckBoxState::cbChecked ? Qt::Checked
                   : s == TCheckBoxState::cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
}

bool TCheckBox::AllowGrayed() const { return static_cast<QCheckBox*>(Widget())->isTristate(); }
void TCheckBox::SetAllowGrayed(bool v) { static_cast<QCheckBox*>(Widget())->setTristate(v); }
void TCheckBox::SetAlignment(TAlignment a) {
  alignment_ = a;
  Widget()->setLayoutDirection(a == TAlignment::taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

const TClassInfo& TRadioButton::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TRadioButton;
    TClassInfo ci = Derived("TRadioButton", TWinControl::StaticClassInfo());
    ci.Props = {CaptionProp(), UI_BOOL(C, Checked), UI_ENUM(C, TAlignment, Alignment, kAlignmentNames)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TRadioButton(o); };
    return ci;
  }();
  return info;
}

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner, new QRadioButton) {
  auto* b = static_cast<QRadioButton*>(Widget());
  ApplyFont();
  SetBounds(0, 0, 113, 17);
  QObject::connect(b, &QRadioButton::toggled, b, [this](bool on) {
    if (on && !Destroying()) Click();
  });
}

void TRadioButton::SetText(std::string_view text) {
  TControl::SetText(text);
  static_cast<QRadioButton*>(Widget())->setText(QStr(text));
}

bool TRadioButton::Checked() const { return static_cast<QRadioButton*>(Widget())->isChecked(); }

void TRadioButton::SetChecked(bool v) {
  auto* b = static_cast<QRadioButton*>(Widget());
  if (v) {
    b->setChecked(true);
  } else if (b->isChecked()) {
    // Qt keeps one exclusive button checked; the class library lets the
    // program clear it.
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(true);
  }
}

void TRadioButton::SetAlignment(TAlignment a) {
  alignment_ = a;
  Widget()->setLayoutDirection(a == TAlignment::taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

// --- combo box ----------------------------------------------------------------------

const TClassInfo& TComboBox::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TComboBox;
    TClassInfo ci = Derived("TComboBox", TWinControl::StaticClassInfo());
    ci.Props = {UI_ENUM(C, TComboBoxStyle, Style, kComboBoxStyleNames), CaptionProp("Text"), UI_INT(C, ItemIndex),
                UI_INT(C, DropDownCount), UI_BOOL(C, Sorted), UI_INT(C, MaxLength),
                props::Stored("ItemHeight", TPropKind::Integer), props::Stored("CharCase", TPropKind::Enum),
                props::Stored("AutoComplete", TPropKind::Boolean)};
    props::Lines<C>(ci, "Items", [](C& c) -> TItems& { return c.Items(); });
    ci.Events = {UI_EVENT(C, OnChange), UI_EVENT(C, OnSelect)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TComboBox(o); };
    return ci;
  }();
  return info;
}

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner, new QComboBox) {
  auto* b = static_cast<QComboBox*>(Widget());
  fillsBackground_ = false;
  TControl::SetColor(clWindow);
  b->setEditable(true);
  b->setInsertPolicy(QComboBox::NoInsert);
  ApplyFont();
  SetBounds(0, 0, 145, 21);
  items_.OnChange = [this] { ItemsChanged(); };
  QObject::connect(b, QOverload<int>::of(&QComboBox::activated), b, [this] {
    if (Destroying() || updating_) return;
    Fire(OnSelect, this);
    Click();
    if (!Destroying()) Fire(OnChange, this);
  });
  QObject::connect(b->lineEdit(), &QLineEdit::textEdited, b, [this] {
    if (!Destroying() && !updating_) Fire(OnChange, this);
  });
}

void TComboBox::ItemsChanged() {
  auto* b = static_cast<QComboBox*>(Widget());
  updating_ = true;
  QString text = b->currentText();
  int index = b->currentIndex();
  b->clear();
  std::vector<std::string> v = items_.List().Items();
  if (sorted_) std::stable_sort(v.begin(), v.end(), [](const std::string& x, const std::string& y) {
    return base::CompareText(x, y) < 0;
  });
  for (const std::string& s : v) b->addItem(QStr(s));
  // A new list keeps the index when it still exists; an editable box keeps
  // its text.  Qt would select the first item of a filled empty box.
  b->setCurrentIndex(index < b->count() ? index : -1);
  if (b->isEditable()) b->setEditText(index >= 0 && index < b->count() ? b->itemText(index) : text);
  updating_ = false;
}

int TComboBox::ItemIndex() const { return static_cast<QComboBox*>(Widget())->currentIndex(); }

void TComboBox::SetItemIndex(int i) {
  auto* b = static_cast<QComboBox*>(Widget());
  updating_ = true;
  b->setCurrentIndex(i >= 0 && i < b->count() ? i : -1);
  if (b->isEditable() && b->currentIndex() < 0) b->setEditText(QString());
  updating_ = false;
}

std::string TComboBox::GetText() const { return StdStr(static_cast<QComboBox*>(Widget())->currentText()); }

void TComboBox::SetText(std::string_view text) {
  auto* b = static_cast<QComboBox*>(Widget());
  updating_ = true;
  if (b->isEditable()) {
    int i = b->findText(QStr(text), Qt::MatchFixedString | Qt::MatchCaseSensitive);
    b->setCurrentIndex(i);
    b->setEditText(QStr(text));
  } else {
    int i = -1;
    for (int k = 0; k < b->count(); ++k)
      if (base::SameText(StdStr(b->itemText(k)), text)) { i = k; break; }
    b->setCurrentIndex(i);
  }
  updating_ = false;
}

void TComboBox::SetStyle(TComboBoxStyle s) {
  auto* b = static_cast<QComboBox*>(Widget());
  style_ = s;
  updating_ = true;
  int index = b->currentIndex();
  bool editable = s == TComboBoxStyle::csDropDown || s == TComboBoxStyle::csSimple;
  b->setEditable(editable);
  if (editable) {
    b->setInsertPolicy(QComboBox::NoInsert);
    QObject::connect(b->lineEdit(), &QLineEdit::textEdited, b, [this] {
      if (!Destroying() && !updating_) Fire(OnChange, this);
    }, Qt::UniqueConnection);
    if (maxLength_ > 0) b->lineEdit()->setMaxLength(maxLength_);
  }
  b->setCurrentIndex(index);
  updating_ = false;
}

int TComboBox::DropDownCount() const { return static_cast<QComboBox*>(Widget())->maxVisibleItems(); }
void TComboBox::SetDropDownCount(int n) { static_cast<QComboBox*>(Widget())->setMaxVisibleItems(std::max(1, n)); }
void TComboBox::SetSorted(bool v) { sorted_ = v; ItemsChanged(); }
void TComboBox::SetMaxLength(int v) {
  maxLength_ = v;
  if (auto* e = static_cast<QComboBox*>(Widget())->lineEdit()) e->setMaxLength(v > 0 ? v : 32767);
}

// --- list box -----------------------------------------------------------------------

const TClassInfo& TListBox::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TListBox;
    TClassInfo ci = Derived("TListBox", TWinControl::StaticClassInfo());
    ci.Props = {UI_BOOL(C, MultiSelect), UI_BOOL(C, ExtendedSelect), UI_BOOL(C, Sorted), UI_INT(C, ItemIndex),
                props::Stored("ItemHeight", TPropKind::Integer), props::Stored("Columns", TPropKind::Integer),
                props::Stored("IntegralHeight", TPropKind::Boolean), props::Stored("Style", TPropKind::Enum),
                props::Stored("BorderStyle", TPropKind::Enum)};
    props::Lines<C>(ci, "Items", [](C& c) -> TItems& { return c.Items(); });
    ci.Create = [](TComponent* o) -> TComponent* { return new TListBox(o); };
    return ci;
  }();
  return info;
}

TListBox::TListBox(TComponent* owner) : TWinControl(owner, new QListWidget) {
  auto* l = static_cast<QListWidget*>(Widget());
  fillsBackground_ = true;
  TControl::SetColor(clWindow);
  ApplyFont();
  SetBounds(0, 0, 121, 97);
  ApplySelectionMode();
  items_.OnChange = [this] { ItemsChanged(); };
  QObject::connect(l, &QListWidget::itemSelectionChanged, l, [this] {
    if (!Destroying() && !updating_) Click();
  });
}

void TListBox::ItemsChanged() {
  auto* l = static_cast<QListWidget*>(Widget());
  updating_ = true;
  l->clear();
  std::vector<std::string> v = items_.List().Items();
  if (sorted_) std::stable_sort(v.begin(), v.end(), [](const std::string& x, const std::string& y) {
    return base::CompareText(x, y) < 0;
  });
  for (const std::string& s : v) l->addItem(QStr(s));
  l->setCurrentRow(-1);
  updating_ = false;
}

void TListBox::ApplySelectionMode() {
  auto* l = static_cast<QListWidget*>(Widget());
  l->setSelectionMode(!multiSelect_ ? QAbstractItemView::SingleSelection
                      : extendedSelect_ ? QAbstractItemView::ExtendedSelection
                                        : QAbstractItemView::MultiSelection);
}

int TListBox::ItemIndex() const { return static_cast<QListWidget*>(Widget())->currentRow(); }

void TListBox::SetItemIndex(int i) {
  auto* l = static_cast<QListWidget*>(Widget());
  updating_ = true;
  if (i < 0 || i >= l->count()) {
    l->clearSelection();
    l->setCurrentRow(-1);
  } else {
    l->setCurrentRow(i, multiSelect_ ? QItemSelectionModel::Current | QItemSelectionModel::Select
                                     : QItemSelectionModel::ClearAndSelect);
  }
  updating_ = false;
}

void TListBox::SetMultiSelect(bool v) { multiSelect_ = v; ApplySelectionMode(); }
void TListBox::SetExtendedSelect(bool v) { extendedSelect_ = v; ApplySelectionMode(); }
bool TListBox::Selected(int i) const {
  auto* l = static_cast<QListWidget*>(Widget());
  return i >= 0 && i < l->count() && l->item(i)->isSelected();
}
void TListBox::SetSelected(int i, bool v) {
  auto* l = static_cast<QListWidget*>(Widget());
  if (i < 0 || i >= l->count()) return;
  updating_ = true;
  if (!multiSelect_ && v) l->setCurrentRow(i);
  else l->item(i)->setSelected(v);
  updating_ = false;
}
int TListBox::SelCount() const {
  return static_cast<int>(static_cast<QListWidget*>(Widget())->selectedItems().size());
}
void TListBox::SetSorted(bool v) { sorted_ = v; ItemsChanged(); }

// --- group box and radio group ----------------------------------------------------------

const TClassInfo& TGroupBox::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassInfo ci = Derived("TGroupBox", TWinControl::StaticClassInfo());
    ci.Props = {CaptionProp(), props::Stored("ParentBackground", TPropKind::Boolean)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TGroupBox(o); };
    return ci;
  }();
  return info;
}

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner, new QGroupBox) {
  ApplyFont();
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::SetText(std::string_view text) {
  TControl::SetText(text);
  static_cast<QGroupBox*>(Widget())->setTitle(QStr(text));
}

const TClassInfo& TRadioGroup::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TRadioGroup;
    TClassInfo ci = Derived("TRadioGroup", TWinControl::StaticClassInfo());
    ci.Props = {CaptionProp(), UI_INT(C, Columns)};
    props::Lines<C>(ci, "Items", [](C& c) -> TItems& { return c.Items(); });
    // After the items: form text gives ItemIndex later, the lookup finds it here.
    ci.Props.push_back(UI_INT(C, ItemIndex));
    ci.Create = [](TComponent* o) -> TComponent* { return new TRadioGroup(o); };
    return ci;
  }();
  return info;
}

TRadioGroup::TRadioGroup(TComponent* owner) : TWinControl(owner, new QGroupBox) {
  ApplyFont();
  SetBounds(0, 0, 185, 105);
  items_.OnChange = [this] { Rebuild(); };
}

TRadioGroup::~TRadioGroup() {
  BeginDestroy();
  for (QWidget* b : buttons_) b->blockSignals(true);
}

void TRadioGroup::SetText(std::string_view text) {
  TControl::SetText(text);
  static_cast<QGroupBox*>(Widget())->setTitle(QStr(text));
}

void TRadioGroup::Rebuild() {
  updating_ = true;
  for (QWidget* b : buttons_) delete b;
  buttons_.clear();
  for (int i = 0; i < items_.Count(); ++i) {
    auto* b = new QRadioButton(QStr(items_[i]), Widget());
    b->setFont(Widget()->font());
    b->show();
    QObject::connect(b, &QRadioButton::toggled, b, [this, i](bool on) {
      if (on && !updating_ && !Destroying()) SetItemIndex(i);
    });
    buttons_.push_back(b);
  }
  if (itemIndex_ >= items_.Count()) itemIndex_ = -1;
  if (itemIndex_ >= 0) static_cast<QRadioButton*>(buttons_[static_cast<std::size_t>(itemIndex_)])->setChecked(true);
  updating_ = false;
  Arrange();
}

void TRadioGroup::Arrange() {
  if (buttons_.empty()) return;
  int count = static_cast<int>(buttons_.size());
  int cols = std::max(1, columns_);
  int perCol = (count + cols - 1) / cols;
  int bw = (Width() - 10) / cols;
  int th = QFontMetrics(Widget()->font()).height();
  int avail = Height() - th - 5;
  int bh = std::max(1, avail / perCol);
  int topMargin = th + 1 + (avail % perCol) / 2;
  for (int i = 0; i < count; ++i)
    buttons_[static_cast<std::size_t>(i)]->setGeometry((i / perCol) * bw + 8, (i % perCol) * bh + topMargin, bw, bh);
}

void TRadioGroup::SetItemIndex(int i) {
  if (i < -1 || i >= items_.Count()) i = -1;
  if (i == itemIndex_) return;
  itemIndex_ = i;
  updating_ = true;
  for (std::size_t k = 0; k < buttons_.size(); ++k) {
    auto* b = static_cast<QRadioButton*>(buttons_[k]);
    if (static_cast<int>(k) == i) b->setChecked(true);
    else if (b->isChecked()) {
      b->setAutoExclusive(false);
      b->setChecked(false);
      b->setAutoExclusive(true);
    }
  }
  updating_ = false;
  if (!Loading()) Click();
}

void TRadioGroup::SetColumns(int n) {
  columns_ = std::clamp(n, 1, 16);
  Arrange();
}

QWidget* TRadioGroup::ButtonWidget(int i) const {
  return i >= 0 && i < static_cast<int>(buttons_.size()) ? buttons_[static_cast<std::size_t>(i)] : nullptr;
}

void TRadioGroup::Resized() {
  Arrange();
  TWinControl::Resized();
}

void TRadioGroup::ApplyFont() {
  TWinControl::ApplyFont();
  for (QWidget* b : buttons_) b->setFont(Widget()->font());
  Arrange();
}

// --- panel --------------------------------------------------------------------------

const TClassInfo& TPanel::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TPanel;
    TClassInfo ci = Derived("TPanel", TWinControl::StaticClassInfo());
    ci.Props = {CaptionProp(), UI_ENUM(C, TAlignment, Alignment, kAlignmentNames),
                UI_ENUM(C, TBevelCut, BevelOuter, kBevelCutNames), UI_ENUM(C, TBevelCut, BevelInner, kBevelCutNames),
                UI_INT(C, BevelWidth), UI_ENUM(C, TBorderStyle, BorderStyle, kBorderStyle2Names),
                props::Stored("ParentBackground", TPropKind::Boolean), props::Stored("FullRepaint", TPropKind::Boolean),
                props::Stored("BorderWidth", TPropKind::Integer)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TPanel(o); };
    return ci;
  }();
  return info;
}

TPanel::TPanel(TComponent* owner) : TWinControl(owner, new QWidget) {
  passiveMouse_ = true;
  clicksFromMouse_ = true;
  fillsBackground_ = true;
  ApplyFont();
  ApplyColor();
  SetBounds(0, 0, 185, 41);
}

void TPanel::SetText(std::string_view text) {
  TControl::SetText(text);
  Repaint();
}

namespace {
void DrawBevel(QPainter& p, QRect& r, TBevelCut cut, int width) {
  if (cut == TBevelCut::bvNone) return;
  QColor hi = ToQColor(clBtnHighlight), sh = ToQColor(clBtnShadow);
  if (cut == TBevelCut::bvLowered) std::swap(hi, sh);
  for (int i = 0; i < width; ++i) {
    if (cut != TBevelCut::bvSpace) {
      p.setPen(hi);
      p.drawLine(r.left(), r.top(), r.right(), r.top());
      p.drawLine(r.left(), r.top(), r.left(), r.bottom());
      p.setPen(sh);
      p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
      p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    }
    r.adjust(1, 1, -1, -1);
  }
}
}  // namespace

bool TPanel::WidgetEvent(QEvent* e) {
  if (e->type() == QEvent::Paint) {
    QPainter p(Widget());
    QRect r = Widget()->rect();
    if (borderStyle_ == TBorderStyle::bsSingle) {
      p.setPen(Qt::black);
      p.drawRect(r.adjusted(0, 0, -1, -1));
      r.adjust(1, 1, -1, -1);
    }
    DrawBevel(p, r, bevelOuter_, bevelWidth_);
    DrawBevel(p, r, bevelInner_, bevelWidth_);
    if (!GetText().empty()) {
      p.setFont(Widget()->font());
      p.setPen(ToQColor(Font().Color));
      p.drawText(r, static_cast<int>(HAlign(alignment_) | Qt::AlignVCenter), PlainCaption(GetText()));
    }
    return false;
  }
  return TWinControl::WidgetEvent(e);
}

// --- image, bevel, shape ------------------------------------------------------------------

const TClassInfo& TImage::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TImage;
    TClassInfo ci = Derived("TImage", TControl::StaticClassInfo());
    ci.Props = {UI_BOOL(C, Stretch), UI_BOOL(C, Center), UI_BOOL(C, Proportional), UI_BOOL(C, Transparent),
                UI_BOOL(C, AutoSize)};
    TPropInfo data{"Picture.Data", TPropKind::Binary, nullptr,
                   [](TComponent& c, std::string_view t) {
                     static_cast<C&>(c).LoadFromData(std::string(t));
                     return true;  // an unreadable picture leaves the image empty
                   }};
    ci.Props.push_back(data);
    ci.Create = [](TComponent* o) -> TComponent* { return new TImage(o); };
    return ci;
  }();
  return info;
}

TImage::TImage(TComponent* owner) : TControl(owner, new QLabel) {
  passiveMouse_ = true;
  parentColor_ = true;
  static_cast<QLabel*>(Widget())->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetBounds(0, 0, 105, 105);
}

bool TImage::LoadFromFile(const std::string& hostPath) {
  QImage img(QStr(hostPath));
  if (img.isNull()) return false;
  static_cast<QLabel*>(Widget())->setPixmap(QPixmap::fromImage(img));
  if (autoSize_) SetBounds(Left(), Top(), img.width(), img.height());
  return true;
}

bool TImage::LoadFromData(const std::string& bytes) {
  QImage img = ImageFromPictureData(bytes);
  if (img.isNull()) return false;
  static_cast<QLabel*>(Widget())->setPixmap(QPixmap::fromImage(img));
  if (autoSize_) SetBounds(Left(), Top(), img.width(), img.height());
  return true;
}

bool TImage::Empty() const { return static_cast<QLabel*>(Widget())->pixmap().isNull(); }

void TImage::SetStretch(bool v) {
  stretch_ = v;
  static_cast<QLabel*>(Widget())->setScaledContents(v && !proportional_);
  Repaint();
}
void TImage::SetCenter(bool v) {
  center_ = v;
  static_cast<QLabel*>(Widget())->setAlignment(v ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
}
void TImage::SetProportional(bool v) {
  proportional_ = v;
  SetStretch(stretch_);
}
void TImage::SetAutoSize(bool v) {
  autoSize_ = v;
  auto* l = static_cast<QLabel*>(Widget());
  if (v && !l->pixmap().isNull()) SetBounds(Left(), Top(), l->pixmap().width(), l->pixmap().height());
}

bool TImage::WidgetEvent(QEvent* e) {
  auto* l = static_cast<QLabel*>(Widget());
  if (e->type() == QEvent::Paint && proportional_ && !l->pixmap().isNull()) {
    // Scaled down (or, with Stretch, up) keeping the aspect ratio.
    QPixmap pm = l->pixmap();
    QSize s = pm.size();
    if (stretch_ || s.width() > Width() || s.height() > Height()) s.scale(Widget()->size(), Qt::KeepAspectRatio);
    QPainter p(l);
    int x = center_ ? (Width() - s.width()) / 2 : 0, y = center_ ? (Height() - s.height()) / 2 : 0;
    p.drawPixmap(QRect(QPoint(x, y), s), pm);
    return true;
  }
  return TControl::WidgetEvent(e);
}

const TClassInfo& TBevel::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TBevel;
    TClassInfo ci = Derived("TBevel", TControl::StaticClassInfo());
    ci.Props = {UI_ENUM(C, TBevelShape, Shape, kBevelShapeNames), UI_ENUM(C, TBevelStyle, Style, kBevelStyleNames)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TBevel(o); };
    return ci;
  }();
  return info;
}

TBevel::TBevel(TComponent* owner) : TControl(owner, new QWidget) {
  passiveMouse_ = true;
  SetBounds(0, 0, 50, 50);
}

bool TBevel::WidgetEvent(QEvent* e) {
  if (e->type() != QEvent::Paint) return TControl::WidgetEvent(e);
  QPainter p(Widget());
  QColor c1 = ToQColor(clBtnShadow), c2 = ToQColor(clBtnHighlight);
  if (style_ == TBevelStyle::bsRaised) std::swap(c1, c2);
  int w = Width(), h = Height();
  auto line2 = [&](int x1, int y1, int x2, int y2, int dx, int dy) {
    p.setPen(c1);
    p.drawLine(x1, y1, x2, y2);
    p.setPen(c2);
    p.drawLine(x1 + dx, y1 + dy, x2 + dx, y2 + dy);
  };
  switch (shape_) {
    case TBevelShape::bsBox:
      p.setPen(c1);
      p.drawLine(0, 0, w - 1, 0);
      p.drawLine(0, 0, 0, h - 1);
      p.setPen(c2);
      p.drawLine(0, h - 1, w - 1, h - 1);
      p.drawLine(w - 1, 0, w - 1, h - 1);
      break;
    case TBevelShape::bsFrame:
      p.setPen(c1);
      p.drawRect(0, 0, w - 2, h - 2);
      p.setPen(c2);
      p.drawRect(1, 1, w - 2, h - 2);
      break;
    case TBevelShape::bsTopLine: line2(0, 0, w - 1, 0, 0, 1); break;
    case TBevelShape::bsBottomLine: line2(0, h - 2, w - 1, h - 2, 0, 1); break;
    case TBevelShape::bsLeftLine: line2(0, 0, 0, h - 1, 1, 0); break;
    case TBevelShape::bsRightLine: line2(w - 2, 0, w - 2, h - 1, 1, 0); break;
    case TBevelShape::bsSpacer: break;
  }
  return true;
}

const TClassInfo& TShape::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TShape;
    TClassInfo ci = Derived("TShape", TControl::StaticClassInfo());
    ci.Props = {UI_ENUM(C, TShapeType, Shape, kShapeTypeNames),
                props::Color<C>("Brush.Color", [](const C& c) { return c.BrushColor(); },
                                [](C& c, TColor v) { c.SetBrushColor(v); }),
                props::Color<C>("Pen.Color", [](const C& c) { return c.PenColor(); },
                                [](C& c, TColor v) { c.SetPenColor(v); }),
                props::Int<C>("Pen.Width", [](const C& c) { return c.PenWidth(); },
                              [](C& c, int v) { c.SetPenWidth(v); })};
    TPropInfo brushStyle{"Brush.Style", TPropKind::Enum,
                         [](const TComponent& c) { return static_cast<const C&>(c).BrushClear() ? "bsClear" : "bsSolid"; },
                         [](TComponent& c, std::string_view t) {
                           static_cast<C&>(c).SetBrushClear(base::SameText(t, "bsClear"));
                           return true;
                         }};
    ci.Props.push_back(brushStyle);
    ci.Create = [](TComponent* o) -> TComponent* { return new TShape(o); };
    return ci;
  }();
  return info;
}

TShape::TShape(TComponent* owner) : TControl(owner, new QWidget) {
  passiveMouse_ = true;
  SetBounds(0, 0, 65, 65);
}

bool TShape::WidgetEvent(QEvent* e) {
  if (e->type() != QEvent::Paint) return TControl::WidgetEvent(e);
  QPainter p(Widget());
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(penWidth_ > 0 ? QPen(ToQColor(penColor_), penWidth_) : QPen(Qt::NoPen));
  p.setBrush(brushClear_ ? QBrush(Qt::NoBrush) : QBrush(ToQColor(brushColor_)));
  int w = Width(), h = Height(), pw = std::max(1, penWidth_);
  QRect r(pw / 2, pw / 2, w - pw, h - pw);
  if (shape_ == TShapeType::stSquare || shape_ == TShapeType::stRoundSquare || shape_ == TShapeType::stCircle) {
    int s = std::min(r.width(), r.height());
    r = QRect(r.x() + (r.width() - s) / 2, r.y() + (r.height() - s) / 2, s, s);
  }
  switch (shape_) {
    case TShapeType::stRoundRect:
    case TShapeType::stRoundSquare: {
      int rr = std::min(r.width(), r.height()) / 4;
      p.drawRoundedRect(r, rr, rr);
      break;
    }
    case TShapeType::stEllipse:
    case TShapeType::stCircle: p.drawEllipse(r); break;
    default: p.drawRect(r); break;
  }
  return true;
}

}  // namespace ui
