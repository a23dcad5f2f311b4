// TControl and TWinControl on QWidget: geometry, visibility, fonts and
// colours, the align/anchor layout, tab order and the widget event hook.
#include "platform/ui/controls.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>

#include "platform/ui/forms.h"
#include "platform/ui/prop_helpers.h"
#include "platform/ui/qt_util.h"

namespace ui {

void RegisterStandardClasses();  // registry.cpp
namespace {
// FindClass sees the standard classes wherever controls are linked in.
const bool kStandardClassesRegistered = (SetStandardClassRegistrar(&RegisterStandardClasses), true);
}  // namespace

const TEnumNames kAlignNames = {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"};
const TEnumNames kAnchorNames = {"akLeft", "akTop", "akRight", "akBottom"};
const TEnumNames kFontStyleNames = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
const TEnumNames kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};

namespace {
int MulDivRound(int a, int b, int c) {
  long long p = static_cast<long long>(a) * b;
  return static_cast<int>(p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c));
}
}  // namespace

int TFont::Size() const { return Height < 0 ? MulDivRound(-Height, 72, 96) : Height; }
void TFont::SetSize(int points) { Height = -MulDivRound(points, 96, 72); }

// --- items ------------------------------------------------------------------------

void TItems::Changed() {
  if (updating_) {
    pending_ = true;
    return;
  }
  if (OnChange) OnChange();
}
void TItems::EndUpdate() {
  if (updating_ > 0 && --updating_ == 0 && pending_) {
    pending_ = false;
    Changed();
  }
}
void TItems::Set(int i, std::string s) { list_.Set(i, std::move(s)); Changed(); }
int TItems::Add(std::string s) { int i = list_.Add(std::move(s)); Changed(); return i; }
void TItems::Insert(int i, std::string s) { list_.Insert(i, std::move(s)); Changed(); }
void TItems::Delete(int i) { list_.Delete(i); Changed(); }
void TItems::Clear() { list_.Clear(); Changed(); }
void TItems::SetText(std::string_view text) { list_.SetText(text); Changed(); }
void TItems::SetCommaText(std::string_view text) { list_.SetCommaText(text); Changed(); }
void TItems::Assign(const base::TStringList& l) { list_ = l; Changed(); }
void TItems::Assign(const std::vector<std::string>& lines) { list_ = base::TStringList(lines); Changed(); }

// --- the event hook -----------------------------------------------------------------

class TWidgetHook : public QObject {
 public:
  explicit TWidgetHook(TControl* c) : control_(c) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched != control_->widget_ || control_->Destroying()) return false;
    return control_->WidgetEvent(e);
  }

 private:
  TControl* control_;
};

// --- TControl ---------------------------------------------------------------------

const TClassInfo& TControl::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TControl;
    TClassInfo ci;
    ci.Name = "TControl";
    ci.Parent = &TComponent::StaticClassInfo();
    ci.Props = {
        UI_INT(C, Left), UI_INT(C, Top), UI_INT(C, Width), UI_INT(C, Height),
        UI_BOOL(C, Visible), UI_BOOL(C, Enabled),
        UI_COLOR(C, Color), UI_BOOL(C, ParentColor), UI_BOOL(C, ParentFont),
        UI_ENUM(C, TAlign, Align, kAlignNames), UI_SET(C, Anchors, kAnchorNames),
        UI_STR(C, Hint), UI_BOOL(C, ShowHint), UI_INT(C, Cursor),
        props::Str<C>("Font.Name", [](const C& c) { return c.Font().Name; },
                      [](C& c, std::string_view v) { TFont f = c.Font(); f.Name = v; c.SetFont(f); }),
        props::Int<C>("Font.Height", [](const C& c) { return c.Font().Height; },
                      [](C& c, int v) { TFont f = c.Font(); f.Height = v; c.SetFont(f); }),
        props::Int<C>("Font.Size", [](const C& c) { return c.Font().Size(); },
                      [](C& c, int v) { TFont f = c.Font(); f.SetSize(v); c.SetFont(f); }),
        props::Set<C>("Font.Style", kFontStyleNames, [](const C& c) { return c.Font().Style; },
                      [](C& c, unsigned v) { TFont f = c.Font(); f.Style = v; c.SetFont(f); }),
        props::Color<C>("Font.Color", [](const C& c) { return c.Font().Color; },
                        [](C& c, TColor v) { TFont f = c.Font(); f.Color = v; c.SetFont(f); }),
        props::Int<C>("Font.Charset", [](const C& c) { return c.Font().Charset; },
                      [](C& c, int v) { TFont f = c.Font(); f.Charset = v; c.SetFont(f); }),
    };
    // Charsets are written as names in form text.
    ci.Props.back().Set = [](TComponent& c, std::string_view t) {
      static const std::pair<const char*, int> names[] = {
          {"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"SYMBOL_CHARSET", 2}, {"EASTEUROPE_CHARSET", 238},
          {"RUSSIAN_CHARSET", 204}, {"GREEK_CHARSET", 161}, {"TURKISH_CHARSET", 162},
          {"BALTIC_CHARSET", 186}, {"OEM_CHARSET", 255}, {"SHIFTJIS_CHARSET", 128}};
      int v = -1;
      for (auto& n : names)
        if (t == n.first) v = n.second;
      if (v < 0) {
        auto i = TextToInt(t);
        if (!i || *i < 0 || *i > 255) return false;
        v = static_cast<int>(*i);
      }
      auto& ctl = static_cast<TControl&>(c);
      TFont f = ctl.Font();
      f.Charset = v;
      ctl.SetFont(f);
      return true;
    };
    ci.Events = {UI_EVENT(C, OnClick), UI_EVENT(C, OnDblClick), UI_EVENT(C, OnResize),
                 props::Other("OnMouseDown"), props::Other("OnMouseUp")};
    return ci;
  }();
  return info;
}

TControl::TControl(TComponent* owner, QWidget* widget) : TComponent(owner), widget_(widget) {
  hook_ = new TWidgetHook(this);
  widget_->installEventFilter(hook_);
  widget_->setAttribute(Qt::WA_DeleteOnClose, false);
}

TControl::~TControl() {
  BeginDestroy();
  widget_->blockSignals(true);
  DestroyComponents();
  if (parent_) {
    TWinControl* p = parent_;
    auto& v = p->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    auto& t = p->tabList_;
    t.erase(std::remove(t.begin(), t.end(), this), t.end());
    parent_ = nullptr;
  }
  delete hook_;
  hook_ = nullptr;
  delete widget_;
  widget_ = nullptr;
}

TForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c) {
    if (c->ClassInfo().InheritsFrom(TForm::StaticClassInfo()))
      return const_cast<TForm*>(static_cast<const TForm*>(c));
    c = c->parent_;
  }
  return nullptr;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_) {
    TWinControl* old = parent_;
    auto& v = old->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    auto& t = old->tabList_;
    t.erase(std::remove(t.begin(), t.end(), this), t.end());
    parent_ = nullptr;
    old->ControlRemoved(this);
    old->ApplyTabChain();
    if (align_ != TAlign::alNone) old->Realign();
  }
  QRect g = widget_->geometry();
  parent_ = parent;
  if (parent) {
    parent->controls_.push_back(this);
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
      parent->tabList_.push_back(w);
    }
    widget_->setParent(parent->ClientWidget());
    widget_->setGeometry(g);
    InheritFromParent();
    widget_->setVisible(visible_);
    parent->ControlAdded(this);
    parent->ApplyTabChain();
    if (align_ != TAlign::alNone) parent->Realign();
  } else {
    widget_->setParent(nullptr);
    widget_->setGeometry(g);
  }
}

void TControl::InheritFromParent() {
  if (!parent_) return;
  if (parentFont_) {
    font_ = parent_->font_;
    ApplyFont();
  }
  if (parentColor_) {
    color_ = parent_->color_;
    ApplyColor();
  }
}

int TControl::Left() const { return widget_->x(); }
int TControl::Top() const { return widget_->y(); }
int TControl::Width() const { return widget_->width() + frameW_; }
int TControl::Height() const { return widget_->height() + frameH_; }

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(0, width - frameW_);
  height = std::max(0, height - frameH_);
  widget_->move(left, top);
  widget_->resize(width, height);
  CheckResized();
  if (parent_ && align_ != TAlign::alNone && !parent_->aligning_) parent_->Realign();
}

void TControl::CheckResized() {
  if (widget_->width() == lastW_ && widget_->height() == lastH_) return;
  lastW_ = widget_->width();
  lastH_ = widget_->height();
  Resized();
}

void TControl::Resized() {
  if (!Loading()) Fire(OnResize, this);
}

void TControl::SetVisible(bool v) {
  visible_ = v;
  if (parent_) widget_->setVisible(v);
  if (parent_ && align_ != TAlign::alNone) parent_->Realign();
}

bool TControl::Showing() const { return widget_->isVisible(); }

void TControl::SetEnabled(bool v) {
  enabled_ = v;
  widget_->setEnabled(v);
}

void TControl::SetText(std::string_view text) { text_ = std::string(text); }

void TControl::SetFont(const TFont& f) {
  font_ = f;
  parentFont_ = false;
  ApplyFont();
}

void TControl::SetParentFont(bool v) {
  parentFont_ = v;
  if (v) InheritFromParent();
}

void TControl::ApplyFont() {
  widget_->setFont(ToQFont(font_));
  QPalette pal = widget_->palette();
  QColor c = ToQColor(font_.Color);
  pal.setColor(QPalette::WindowText, c);
  pal.setColor(QPalette::Text, c);
  pal.setColor(QPalette::ButtonText, c);
  widget_->setPalette(pal);
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (TControl* child : w->controls_)
      if (child->parentFont_) {
        child->font_ = font_;
        child->ApplyFont();
      }
}

void TControl::SetColor(TColor c) {
  color_ = c;
  parentColor_ = false;
  ApplyColor();
}

void TControl::SetParentColor(bool v) {
  parentColor_ = v;
  if (v) InheritFromParent();
}

void TControl::ApplyColor() {
  if (fillsBackground_) {
    QPalette pal = widget_->palette();
    pal.setColor(widget_->backgroundRole(), ToQColor(color_));
    widget_->setPalette(pal);
    widget_->setAutoFillBackground(true);
  }
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (TControl* child : w->controls_)
      if (child->parentColor_) {
        child->color_ = color_;
        child->ApplyColor();
      }
}

void TControl::SetAlign(TAlign a) {
  align_ = a;
  if (parent_) parent_->Realign();
}

void TControl::SetHint(std::string_view h) {
  hint_ = std::string(h);
  widget_->setToolTip(showHint_ ? QString::fromStdString(hint_) : QString());
}

void TControl::SetShowHint(bool v) {
  showHint_ = v;
  SetHint(hint_);
}

void TControl::Click() { Fire(OnClick, this); }

void TControl::BringToFront() { widget_->raise(); }
void TControl::Repaint() { widget_->repaint(); }

namespace {
TShiftState ShiftFrom(Qt::KeyboardModifiers m, Qt::MouseButtons b = Qt::NoButton) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}
TMouseButton ButtonFrom(Qt::MouseButton b) {
  return b == Qt::RightButton ? TMouseButton::mbRight : b == Qt::MiddleButton ? TMouseButton::mbMiddle
                                                                              : TMouseButton::mbLeft;
}
}  // namespace

bool TControl::WidgetEvent(QEvent* e) {
  switch (e->type()) {
    case QEvent::Resize:
      CheckResized();
      return false;
    case QEvent::MouseButtonPress: {
      auto* m = static_cast<QMouseEvent*>(e);
      if (OnMouseDown)
        OnMouseDown(this, ButtonFrom(m->button()), ShiftFrom(m->modifiers(), m->buttons()),
                    m->position().toPoint().x(), m->position().toPoint().y());
      if (passiveMouse_) {
        e->accept();
        return true;
      }
      return false;
    }
    case QEvent::MouseButtonRelease: {
      auto* m = static_cast<QMouseEvent*>(e);
      QPoint p = m->position().toPoint();
      if (OnMouseUp) OnMouseUp(this, ButtonFrom(m->button()), ShiftFrom(m->modifiers(), m->buttons()), p.x(), p.y());
      if (Destroying()) return true;
      if (clicksFromMouse_ && m->button() == Qt::LeftButton && widget_->rect().contains(p) && enabled_) Click();
      return passiveMouse_;
    }
    case QEvent::MouseButtonDblClick:
      Fire(OnDblClick, this);
      return false;
    default:
      return false;
  }
}

// --- TWinControl ------------------------------------------------------------------

const TClassInfo& TWinControl::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TWinControl;
    TClassInfo ci;
    ci.Name = "TWinControl";
    ci.Parent = &TControl::StaticClassInfo();
    ci.Props = {UI_INT(C, TabOrder), UI_BOOL(C, TabStop)};
    ci.Events = {UI_EVENT(C, OnEnter), UI_EVENT(C, OnExit), props::Other("OnKeyDown"), props::Other("OnKeyUp")};
    return ci;
  }();
  return info;
}

TWinControl::TWinControl(TComponent* owner, QWidget* widget) : TControl(owner, widget) {
  clicksFromMouse_ = false;
}

TWinControl::~TWinControl() {
  BeginDestroy();
  Widget()->blockSignals(true);
  DestroyComponents();
  // Child controls owned by someone else go with their parent (invariant 3).
  while (!controls_.empty()) delete controls_.back();
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  auto& t = Parent()->tabList_;
  auto it = std::find(t.begin(), t.end(), this);
  return it == t.end() ? -1 : static_cast<int>(it - t.begin());
}

void TWinControl::SetTabOrder(int v) {
  if (!Parent()) return;
  auto& t = Parent()->tabList_;
  t.erase(std::remove(t.begin(), t.end(), this), t.end());
  v = std::clamp(v, 0, static_cast<int>(t.size()));
  t.insert(t.begin() + v, this);
  Parent()->ApplyTabChain();
}

void TWinControl::ApplyTabChain() {
  QWidget* prev = nullptr;
  for (TWinControl* c : tabList_) {
    if (prev) QWidget::setTabOrder(prev, c->Widget());
    prev = c->Widget();
  }
}

void TWinControl::SetTabStop(bool v) {
  tabStop_ = v;
  if (!v) Widget()->setFocusPolicy(Qt::ClickFocus);
}

bool TWinControl::Focused() const { return Widget()->hasFocus(); }
void TWinControl::SetFocus() { Widget()->setFocus(Qt::OtherFocusReason); }
bool TWinControl::CanFocus() const { return Widget()->isVisible() && Widget()->isEnabled(); }

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward) const {
  // All focusable descendants in tab order, depth first.
  std::vector<TWinControl*> order;
  std::function<void(const TWinControl*)> walk = [&](const TWinControl* p) {
    for (TWinControl* c : p->tabList_) {
      if (c->tabStop_ && c->CanFocus() && c->controls_.empty()) order.push_back(c);
      walk(c);
    }
  };
  walk(this);
  if (order.empty()) return nullptr;
  auto it = std::find(order.begin(), order.end(), current);
  if (it == order.end()) return forward ? order.front() : order.back();
  auto i = it - order.begin();
  auto n = static_cast<long>(order.size());
  return order[static_cast<std::size_t>(((i + (forward ? 1 : -1)) % n + n) % n)];
}

void TWinControl::Resized() {
  Realign();
  TControl::Resized();
}

void TWinControl::Realign() {
  if (aligning_) return;
  QWidget* cw = ClientWidget();
  int w = cw->width(), h = cw->height();
  aligning_ = true;
  int dx = alignW_ >= 0 ? w - alignW_ : 0;
  int dy = alignH_ >= 0 ? h - alignH_ : 0;
  alignW_ = w;
  alignH_ = h;
  if (dx || dy)
    for (TControl* c : controls_) {
      if (c->align_ != TAlign::alNone && c->align_ != TAlign::alCustom) continue;
      TRect r = c->BoundsRect();
      TAnchors a = c->anchors_;
      if (a & akRight) {
        if (a & akLeft) r.Right += dx;
        else { r.Left += dx; r.Right += dx; }
      }
      if (a & akBottom) {
        if (a & akTop) r.Bottom += dy;
        else { r.Top += dy; r.Bottom += dy; }
      }
      if (r.Left != c->Left() || r.Top != c->Top() || r.Width() != c->Width() || r.Height() != c->Height())
        c->SetBounds(r.Left, r.Top, r.Width(), r.Height());
    }
  TRect rest{0, 0, w, h};
  auto pass = [&](TAlign a) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->align_ == a && c->visible_) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case TAlign::alTop: return x->Top() < y->Top();
        case TAlign::alBottom: return x->Top() + x->Height() > y->Top() + y->Height();
        case TAlign::alLeft: return x->Left() < y->Left();
        case TAlign::alRight: return x->Left() + x->Width() > y->Left() + y->Width();
        default: return false;
      }
    });
    for (TControl* c : list) {
      int cw2 = c->Width(), ch = c->Height();
      switch (a) {
        case TAlign::alTop: c->SetBounds(rest.Left, rest.Top, rest.Width(), ch); rest.Top += ch; break;
        case TAlign::alBottom: c->SetBounds(rest.Left, rest.Bottom - ch, rest.Width(), ch); rest.Bottom -= ch; break;
        case TAlign::alLeft: c->SetBounds(rest.Left, rest.Top, cw2, rest.Height()); rest.Left += cw2; break;
        case TAlign::alRight: c->SetBounds(rest.Right - cw2, rest.Top, cw2, rest.Height()); rest.Right -= cw2; break;
        case TAlign::alClient:
          c->SetBounds(rest.Left, rest.Top, std::max(0, rest.Width()), std::max(0, rest.Height()));
          break;
        default: break;
      }
    }
  };
  pass(TAlign::alTop);
  pass(TAlign::alBottom);
  pass(TAlign::alLeft);
  pass(TAlign::alRight);
  pass(TAlign::alClient);
  aligning_ = false;
}

bool TWinControl::WidgetEvent(QEvent* e) {
  switch (e->type()) {
    case QEvent::FocusIn:
      Fire(OnEnter, this);
      return false;
    case QEvent::FocusOut:
      Fire(OnExit, this);
      return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* k = static_cast<QKeyEvent*>(e);
      const TKeyEvent& ev = e->type() == QEvent::KeyPress ? OnKeyDown : OnKeyUp;
      if (!ev) return false;
      int key = VirtualKeyFromQt(k->key());
      ev(this, key, ShiftFrom(k->modifiers()));
      return key == 0;
    }
    default:
      return TControl::WidgetEvent(e);
  }
}

int VirtualKeyFromQt(int k) {
  if ((k >= Qt::Key_0 && k <= Qt::Key_9) || (k >= Qt::Key_A && k <= Qt::Key_Z)) return k;
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: case Qt::Key_Backtab: return 9;
    case Qt::Key_Return: case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Menu: return 93;
    default: return k & 0xFFFF;
  }
}

}  // namespace ui
