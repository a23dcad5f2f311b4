// Page control, status bar, progress bar, gauge, spin edit, track bar and
// splitter on Qt widgets.
#include "platform/ui/comctrls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimerEvent>
#include <QWidget>

#include <algorithm>

#include "platform/ui/prop_helpers.h"
#include "platform/ui/qt_util.h"

namespace ui {

const TEnumNames kProgressOrientationNames = {"pbHorizontal", "pbVertical"};
const TEnumNames kProgressStyleNames = {"pbstNormal", "pbstMarquee"};

namespace {
TClassInfo Derived(const char* name, const TClassInfo& parent) {
  TClassInfo ci;
  ci.Name = name;
  ci.Parent = &parent;
  return ci;
}
TPropInfo CaptionProp(const char* name = "Caption") {
  return props::Str<TControl>(name, [](const TControl& c) { return c.GetText(); },
                              [](TControl& c, std::string_view v) { c.SetText(v); });
}
QTabWidget* Tabs(const TPageControl* pc) { return static_cast<QTabWidget*>(pc->Widget()); }
}  // namespace

// --- page control -------------------------------------------------------------------

const TClassInfo& TPageControl::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TPageControl;
    TClassInfo ci = Derived("TPageControl", TWinControl::StaticClassInfo());
    TPropInfo active{"ActivePage", TPropKind::String,
                     [](const TComponent& c) {
                       TTabSheet* p = static_cast<const C&>(c).ActivePage();
                       return p ? p->Name() : std::string();
                     },
                     [](TComponent& c, std::string_view t) {
                       auto& pc = static_cast<C&>(c);
                       for (TTabSheet* p : pc.pages_)
                         if (base::SameText(p->Name(), t)) {
                           pc.SetActivePage(p);
                           return true;
                         }
                       // The sheets come after this property in form text.
                       if (pc.Loading()) {
                         pc.pendingActive_ = std::string(t);
                         return true;
                       }
                       return false;
                     }};
    ci.Props = {active, UI_INT(C, ActivePageIndex), props::Stored("TabIndex", TPropKind::Integer),
                props::Stored("MultiLine", TPropKind::Boolean), props::Stored("TabPosition", TPropKind::Enum),
                props::Stored("Style", TPropKind::Enum), props::Stored("TabOrder", TPropKind::Integer)};
    ci.Props.pop_back();  // TabOrder is the control's own
    ci.Events = {UI_EVENT(C, OnChange), props::Other("OnChanging")};
    ci.Create = [](TComponent* o) -> TComponent* { return new TPageControl(o); };
    return ci;
  }();
  return info;
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner, new QTabWidget) {
  auto* t = Tabs(this);
  ApplyFont();
  SetBounds(0, 0, 289, 193);
  QObject::connect(t, &QTabWidget::currentChanged, t, [this](int index) {
    if (Destroying() || switching_) return;
    // A user's click: go back to the old page, then switch with the
    // OnChanging protocol.
    int wanted = index;
    int old = shownIndex_;
    switching_ = true;
    Tabs(this)->setCurrentIndex(old);
    switching_ = false;
    UserSwitch(wanted);
  });
}

TPageControl::~TPageControl() {
  BeginDestroy();
  for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
  pages_.clear();
}

void TPageControl::ControlAdded(TControl* c) {
  if (auto* sheet = dynamic_cast<TTabSheet*>(c)) Insert(sheet);
}

void TPageControl::ControlRemoved(TControl* c) {
  if (auto* sheet = dynamic_cast<TTabSheet*>(c)) Remove(sheet);
}

void TPageControl::Insert(TTabSheet* sheet) {
  if (std::find(pages_.begin(), pages_.end(), sheet) != pages_.end()) return;
  sheet->pageControl_ = this;
  pages_.push_back(sheet);
  switching_ = true;
  int i = Tabs(this)->addTab(sheet->Widget(), PlainCaption(sheet->GetText()));
  Tabs(this)->setTabVisible(i, sheet->tabVisible_);
  switching_ = false;
  int now = Tabs(this)->currentIndex();
  if (now != shownIndex_) {
    shownIndex_ = now;
    if (now >= 0) Fire(pages_[static_cast<std::size_t>(now)]->OnShow, pages_[static_cast<std::size_t>(now)]);
  }
}

void TPageControl::Remove(TTabSheet* sheet) {
  auto it = std::find(pages_.begin(), pages_.end(), sheet);
  if (it == pages_.end()) return;
  int i = static_cast<int>(it - pages_.begin());
  pages_.erase(it);
  sheet->pageControl_ = nullptr;
  switching_ = true;
  Tabs(this)->removeTab(i);
  switching_ = false;
  shownIndex_ = Tabs(this)->currentIndex();
}

void TPageControl::UpdateTab(TTabSheet* sheet) {
  int i = sheet->PageIndex();
  if (i < 0) return;
  Tabs(this)->setTabText(i, PlainCaption(sheet->GetText()));
  switching_ = true;
  Tabs(this)->setTabVisible(i, sheet->tabVisible_);
  switching_ = false;
  int now = Tabs(this)->currentIndex();
  if (now != shownIndex_) ProgramSwitch(now);
}

TTabSheet* TPageControl::ActivePage() const {
  int i = Tabs(this)->currentIndex();
  return i >= 0 && i < PageCount() ? pages_[static_cast<std::size_t>(i)] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* page) {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it != pages_.end()) ProgramSwitch(static_cast<int>(it - pages_.begin()));
}

int TPageControl::ActivePageIndex() const { return Tabs(this)->currentIndex(); }
void TPageControl::SetActivePageIndex(int i) {
  if (i >= 0 && i < PageCount()) ProgramSwitch(i);
}

void TPageControl::ProgramSwitch(int index) {
  int old = shownIndex_;
  switching_ = true;
  Tabs(this)->setCurrentIndex(index);
  switching_ = false;
  int now = Tabs(this)->currentIndex();
  shownIndex_ = now;
  if (now == old) return;
  if (old >= 0 && old < PageCount()) Fire(pages_[static_cast<std::size_t>(old)]->OnHide, pages_[static_cast<std::size_t>(old)]);
  if (now >= 0 && now < PageCount()) Fire(pages_[static_cast<std::size_t>(now)]->OnShow, pages_[static_cast<std::size_t>(now)]);
}

bool TPageControl::UserSwitch(int index) {
  if (index < 0 || index >= PageCount() || index == shownIndex_) return false;
  if (!pages_[static_cast<std::size_t>(index)]->tabVisible_) return false;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow || Destroying()) return false;
  ProgramSwitch(index);
  Fire(OnChange, this);
  return true;
}

bool TPageControl::SelectPageByUser(int index) { return UserSwitch(index); }

void TPageControl::Loaded() {
  if (!pendingActive_.empty()) {
    for (TTabSheet* p : pages_)
      if (base::SameText(p->Name(), pendingActive_)) SetActivePage(p);
    pendingActive_.clear();
  }
}

const TClassInfo& TTabSheet::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TTabSheet;
    TClassInfo ci = Derived("TTabSheet", TWinControl::StaticClassInfo());
    TPropInfo pc{"PageControl", TPropKind::String,
                 [](const TComponent& c) {
                   auto* p = static_cast<const C&>(c).PageControl();
                   return p ? p->Name() : std::string();
                 },
                 [](TComponent& c, std::string_view t) {
                   TComponent* root = c.Owner();
                   auto* p = root ? dynamic_cast<TPageControl*>(root->FindComponent(t)) : nullptr;
                   if (!p) return false;
                   static_cast<C&>(c).SetPageControl(p);
                   return true;
                 }};
    ci.Props = {CaptionProp(), UI_BOOL(C, TabVisible), pc, props::Stored("ImageIndex", TPropKind::Integer),
                props::Stored("PageIndex", TPropKind::Integer)};
    ci.Events = {UI_EVENT(C, OnShow), UI_EVENT(C, OnHide)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TTabSheet(o); };
    return ci;
  }();
  return info;
}

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner, new QWidget) {
  fillsBackground_ = false;
  ApplyFont();
}

TTabSheet::~TTabSheet() {
  BeginDestroy();
  if (pageControl_) pageControl_->Remove(this);
}

void TTabSheet::SetText(std::string_view text) {
  TControl::SetText(text);
  if (pageControl_) pageControl_->UpdateTab(this);
}

void TTabSheet::SetPageControl(TPageControl* pc) { SetParent(pc); }

void TTabSheet::SetParent(TWinControl* parent) {
  TWinControl::SetParent(parent);
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  auto& v = pageControl_->pages_;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

void TTabSheet::SetTabVisible(bool v) {
  tabVisible_ = v;
  if (pageControl_) pageControl_->UpdateTab(this);
}

// --- status bar ---------------------------------------------------------------------

const TClassInfo& TStatusBar::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TStatusBar;
    TClassInfo ci = Derived("TStatusBar", TWinControl::StaticClassInfo());
    TPropInfo panels{"Panels", TPropKind::Collection, nullptr, nullptr};
    panels.ClearItems = [](TComponent& c) { static_cast<C&>(c).ClearPanels(); };
    panels.AddItem = [](TComponent& c) { return static_cast<C&>(c).AddPanel(); };
    panels.SetItemProp = [](TComponent& c, int i, std::string_view prop, std::string_view value) {
      auto& sb = static_cast<C&>(c);
      if (base::SameText(prop, "Text")) {
        sb.SetPanelText(i, value);
        return true;
      }
      if (base::SameText(prop, "Width")) {
        auto v = TextToInt(value);
        if (!v) return false;
        sb.SetPanelWidth(i, static_cast<int>(*v));
        return true;
      }
      if (base::SameText(prop, "Alignment")) {
        auto v = TextToEnum(kAlignmentNames, value);
        if (!v) return false;
        sb.panels_[static_cast<std::size_t>(i)].Alignment = static_cast<TAlignment>(*v);
        return true;
      }
      // Bevel, Style and the like change nothing here.
      return base::SameText(prop, "Bevel") || base::SameText(prop, "Style") || base::SameText(prop, "BiDiMode");
    };
    panels.Get = [](const TComponent& c) {
      auto& sb = static_cast<const C&>(c);
      std::string r;
      for (int i = 0; i < sb.PanelCount(); ++i) r += (i ? "," : "") + std::to_string(sb.Panel(i).Width);
      return r;
    };
    ci.Props = {panels, UI_BOOL(C, SimplePanel), UI_STR(C, SimpleText), UI_BOOL(C, SizeGrip)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TStatusBar(o); };
    return ci;
  }();
  return info;
}

TStatusBar::TStatusBar(TComponent* owner) : TWinControl(owner, new QWidget) {
  fillsBackground_ = true;
  ApplyFont();
  ApplyColor();
  SetBounds(0, 0, 200, 19);
  SetAlign(TAlign::alBottom);
}

int TStatusBar::AddPanel(int width, std::string text) {
  panels_.push_back({std::move(text), width, TAlignment::taLeftJustify});
  Repaint();
  return PanelCount() - 1;
}

void TStatusBar::ClearPanels() {
  panels_.clear();
  Repaint();
}

void TStatusBar::SetPanelText(int i, std::string_view text) {
  if (i < 0 || i >= PanelCount()) return;
  panels_[static_cast<std::size_t>(i)].Text = std::string(text);
  Widget()->update();
}

void TStatusBar::SetPanelWidth(int i, int width) {
  if (i < 0 || i >= PanelCount()) return;
  panels_[static_cast<std::size_t>(i)].Width = std::max(0, width);
  Widget()->update();
}

std::string TStatusBar::PanelText(int i) const {
  return i >= 0 && i < PanelCount() ? panels_[static_cast<std::size_t>(i)].Text : std::string();
}

TRect TStatusBar::PanelRect(int i) const {
  if (i < 0 || i >= PanelCount()) return {};
  int left = 0;
  for (int k = 0; k < i; ++k) left += panels_[static_cast<std::size_t>(k)].Width;
  int right = i == PanelCount() - 1 ? std::max(left, Width()) : left + panels_[static_cast<std::size_t>(i)].Width;
  return {left + 1, 2, std::max(left + 1, right - 1), std::max(2, Height() - 1)};
}

void TStatusBar::SetSimplePanel(bool v) {
  simplePanel_ = v;
  Repaint();
}

void TStatusBar::SetSimpleText(std::string_view t) {
  simpleText_ = std::string(t);
  Widget()->update();
}

bool TStatusBar::WidgetEvent(QEvent* e) {
  if (e->type() != QEvent::Paint) return TWinControl::WidgetEvent(e);
  QPainter p(Widget());
  p.setFont(Widget()->font());
  QColor shadow = ToQColor(clBtnShadow), light = ToQColor(clBtnHighlight), text = ToQColor(Font().Color);
  auto sunken = [&](const QRect& r) {
    p.setPen(shadow);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(light);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
  };
  auto drawText = [&](const QRect& r, const std::string& s, TAlignment a) {
    int flags = Qt::AlignVCenter | (a == TAlignment::taCenter ? Qt::AlignHCenter
                                    : a == TAlignment::taRightJustify ? Qt::AlignRight : Qt::AlignLeft);
    p.setPen(text);
    p.drawText(r.adjusted(3, 0, -3, 0), flags, QStr(s));
  };
  if (simplePanel_ || panels_.empty()) {
    QRect r(1, 2, Width() - 2, Height() - 3);
    sunken(r);
    drawText(r, simplePanel_ ? simpleText_ : GetText(), TAlignment::taLeftJustify);
  } else {
    for (int i = 0; i < PanelCount(); ++i) {
      TRect t = PanelRect(i);
      QRect r(t.Left, t.Top, t.Width() - 1, t.Height() - 1);
      sunken(r);
      p.save();
      p.setClipRect(r.adjusted(1, 1, -1, -1));
      drawText(r, panels_[static_cast<std::size_t>(i)].Text, panels_[static_cast<std::size_t>(i)].Alignment);
      p.restore();
    }
  }
  if (sizeGrip_) {
    p.setPen(shadow);
    int w = Width(), h = Height();
    for (int k = 3; k <= 11; k += 4) p.drawLine(w - k, h - 2, w - 2, h - k);
  }
  return true;
}

// --- progress bar and gauge ------------------------------------------------------------

const TClassInfo& TProgressBar::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TProgressBar;
    TClassInfo ci = Derived("TProgressBar", TWinControl::StaticClassInfo());
    ci.Props = {UI_INT(C, Min), UI_INT(C, Max), UI_INT(C, Position), UI_INT(C, Step), UI_BOOL(C, Smooth),
                UI_ENUM(C, TProgressBarOrientation, Orientation, kProgressOrientationNames),
                UI_ENUM(C, TProgressBarStyle, Style, kProgressStyleNames), UI_COLOR(C, BarColor),
                UI_COLOR(C, BackgroundColor)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TProgressBar(o); };
    return ci;
  }();
  return info;
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner, new QWidget) {
  SetTabStop(false);
  Widget()->setFocusPolicy(Qt::NoFocus);
  ApplyFont();
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::SetMin(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  SetPosition(position_);
}
void TProgressBar::SetMax(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  SetPosition(position_);
}
void TProgressBar::SetPosition(int v) {
  position_ = std::clamp(v, min_, max_);
  Widget()->update();
}
void TProgressBar::StepIt() {
  int p = position_ + step_;
  if (p > max_) p = min_ + (p - max_);  // wraps like the common control
  SetPosition(p);
}
void TProgressBar::SetOrientation(TProgressBarOrientation o) {
  orientation_ = o;
  Widget()->update();
}
void TProgressBar::SetStyle(TProgressBarStyle s) {
  if (s == style_) return;
  style_ = s;
  if (s == TProgressBarStyle::pbstMarquee) marqueePhase_ = Widget()->startTimer(100) ? 0 : -1;
  Widget()->update();
}
void TProgressBar::SetBarColor(TColor c) {
  barColor_ = c;
  Widget()->update();
}
void TProgressBar::SetBackgroundColor(TColor c) {
  backColor_ = c;
  Widget()->update();
}

bool TProgressBar::WidgetEvent(QEvent* e) {
  if (e->type() == QEvent::Timer) {
    if (style_ != TProgressBarStyle::pbstMarquee) {
      Widget()->killTimer(static_cast<QTimerEvent*>(e)->timerId());
    } else {
      marqueePhase_ = (marqueePhase_ + 4) % std::max(1, Width() + 40);
      Widget()->update();
    }
    return true;
  }
  if (e->type() != QEvent::Paint) return TWinControl::WidgetEvent(e);
  QPainter p(Widget());
  QRect r = Widget()->rect();
  p.fillRect(r, backColor_ == clDefault ? ToQColor(clBtnFace) : ToQColor(backColor_));
  p.setPen(ToQColor(clBtnShadow));
  p.drawRect(r.adjusted(0, 0, -1, -1));
  QRect in = r.adjusted(1, 1, -1, -1);
  QColor bar = barColor_ == clDefault ? ToQColor(clHighlight) : ToQColor(barColor_);
  if (style_ == TProgressBarStyle::pbstMarquee) {
    p.fillRect(QRect(in.left() + marqueePhase_ - 40, in.top(), 40, in.height()).intersected(in), bar);
    return true;
  }
  double frac = max_ > min_ ? double(position_ - min_) / double(max_ - min_) : 0.0;
  if (orientation_ == TProgressBarOrientation::pbHorizontal) {
    p.fillRect(QRect(in.left(), in.top(), int(in.width() * frac + 0.5), in.height()), bar);
  } else {
    int h = int(in.height() * frac + 0.5);
    p.fillRect(QRect(in.left(), in.bottom() - h + 1, in.width(), h), bar);
  }
  if (showPercent_) {
    p.setFont(Widget()->font());
    p.setPen(ToQColor(Font().Color));
    p.drawText(in, Qt::AlignCenter, QString::number(int(frac * 100)) + "%");
  }
  return true;
}

const TClassInfo& TGauge::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TGauge;
    TClassInfo ci = Derived("TGauge", TProgressBar::StaticClassInfo());
    ci.Props = {props::Int<C>("MinValue", [](const C& c) { return c.Min(); }, [](C& c, int v) { c.SetMin(v); }),
                props::Int<C>("MaxValue", [](const C& c) { return c.Max(); }, [](C& c, int v) { c.SetMax(v); }),
                props::Int<C>("Progress", [](const C& c) { return c.Position(); }, [](C& c, int v) { c.SetPosition(v); }),
                props::Color<C>("ForeColor", [](const C& c) { return c.BarColor(); },
                                [](C& c, TColor v) { c.SetBarColor(v); }),
                props::Color<C>("BackColor", [](const C& c) { return c.BackgroundColor(); },
                                [](C& c, TColor v) { c.SetBackgroundColor(v); }),
                props::Bool<C>("ShowText", [](const C& c) { return c.showPercent_; },
                               [](C& c, bool v) { c.showPercent_ = v; c.Repaint(); }),
                props::Stored("Kind", TPropKind::Enum), props::Stored("BorderStyle", TPropKind::Enum)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TGauge(o); };
    return ci;
  }();
  return info;
}

TGauge::TGauge(TComponent* owner) : TProgressBar(owner) {
  showPercent_ = true;
  SetBarColor(clBlack);
  SetBackgroundColor(clWhite);
}

// --- spin edit and track bar ----------------------------------------------------------

const TClassInfo& TSpinEdit::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TSpinEdit;
    TClassInfo ci = Derived("TSpinEdit", TWinControl::StaticClassInfo());
    ci.Props = {UI_INT(C, MinValue), UI_INT(C, MaxValue), UI_INT(C, Increment), UI_INT(C, Value)};
    ci.Events = {UI_EVENT(C, OnChange)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TSpinEdit(o); };
    return ci;
  }();
  return info;
}

TSpinEdit::TSpinEdit(TComponent* owner) : TWinControl(owner, new QSpinBox) {
  auto* s = static_cast<QSpinBox*>(Widget());
  // No bounds until the program sets them (0 and 0 mean none).
  s->setRange(-2147483647 - 1, 2147483647);
  ApplyFont();
  SetBounds(0, 0, 121, 22);
  QObject::connect(s, QOverload<int>::of(&QSpinBox::valueChanged), s, [this] {
    if (!Destroying()) Fire(OnChange, this);
  });
}

int TSpinEdit::Value() const { return static_cast<QSpinBox*>(Widget())->value(); }
void TSpinEdit::SetValue(int v) { static_cast<QSpinBox*>(Widget())->setValue(v); }
int TSpinEdit::MinValue() const {
  int m = static_cast<QSpinBox*>(Widget())->minimum();
  return m == -2147483647 - 1 ? 0 : m;
}
int TSpinEdit::MaxValue() const {
  int m = static_cast<QSpinBox*>(Widget())->maximum();
  return m == 2147483647 ? 0 : m;
}
void TSpinEdit::SetMinValue(int v) {
  auto* s = static_cast<QSpinBox*>(Widget());
  int mx = MaxValue();
  if (v == 0 && mx == 0) s->setRange(-2147483647 - 1, 2147483647);
  else s->setRange(v, std::max(v, mx == 0 && s->maximum() == 2147483647 ? 2147483647 : mx));
}
void TSpinEdit::SetMaxValue(int v) {
  auto* s = static_cast<QSpinBox*>(Widget());
  int mn = MinValue();
  if (v == 0 && mn == 0) s->setRange(-2147483647 - 1, 2147483647);
  else s->setRange(std::min(mn, v), v);
}
int TSpinEdit::Increment() const { return static_cast<QSpinBox*>(Widget())->singleStep(); }
void TSpinEdit::SetIncrement(int v) { static_cast<QSpinBox*>(Widget())->setSingleStep(v); }
std::string TSpinEdit::GetText() const { return std::to_string(Value()); }
void TSpinEdit::SetText(std::string_view t) {
  if (auto v = TextToInt(t)) SetValue(static_cast<int>(*v));
}

const TClassInfo& TTrackBar::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TTrackBar;
    TClassInfo ci = Derived("TTrackBar", TWinControl::StaticClassInfo());
    ci.Props = {UI_INT(C, Min), UI_INT(C, Max), UI_INT(C, Position),
                UI_ENUM(C, TProgressBarOrientation, Orientation, kProgressOrientationNames),
                props::Stored("Frequency", TPropKind::Integer), props::Stored("TickStyle", TPropKind::Enum),
                props::Stored("TickMarks", TPropKind::Enum)};
    ci.Events = {UI_EVENT(C, OnChange)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TTrackBar(o); };
    return ci;
  }();
  return info;
}

TTrackBar::TTrackBar(TComponent* owner) : TWinControl(owner, new QSlider(Qt::Horizontal)) {
  auto* s = static_cast<QSlider*>(Widget());
  s->setRange(0, 10);
  s->setTickPosition(QSlider::TicksBelow);
  ApplyFont();
  SetBounds(0, 0, 150, 45);
  QObject::connect(s, &QSlider::valueChanged, s, [this] {
    if (!Destroying()) Fire(OnChange, this);
  });
}

int TTrackBar::Min() const { return static_cast<QSlider*>(Widget())->minimum(); }
void TTrackBar::SetMin(int v) { static_cast<QSlider*>(Widget())->setMinimum(v); }
int TTrackBar::Max() const { return static_cast<QSlider*>(Widget())->maximum(); }
void TTrackBar::SetMax(int v) { static_cast<QSlider*>(Widget())->setMaximum(v); }
int TTrackBar::Position() const { return static_cast<QSlider*>(Widget())->value(); }
void TTrackBar::SetPosition(int v) { static_cast<QSlider*>(Widget())->setValue(v); }
TProgressBarOrientation TTrackBar::Orientation() const {
  return static_cast<QSlider*>(Widget())->orientation() == Qt::Vertical ? TProgressBarOrientation::pbVertical
                                                                        : TProgressBarOrientation::pbHorizontal;
}
void TTrackBar::SetOrientation(TProgressBarOrientation o) {
  static_cast<QSlider*>(Widget())->setOrientation(o == TProgressBarOrientation::pbVertical ? Qt::Vertical
                                                                                            : Qt::Horizontal);
}

// --- splitter ------------------------------------------------------------------------

const TClassInfo& TSplitter::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TSplitter;
    TClassInfo ci = Derived("TSplitter", TControl::StaticClassInfo());
    ci.Props = {UI_INT(C, MinSize), props::Stored("Beveled", TPropKind::Boolean),
                props::Stored("ResizeStyle", TPropKind::Enum)};
    ci.Events = {UI_EVENT(C, OnMoved)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TSplitter(o); };
    return ci;
  }();
  return info;
}

TSplitter::TSplitter(TComponent* owner) : TControl(owner, new QWidget) {
  passiveMouse_ = true;
  clicksFromMouse_ = false;
  SetBounds(0, 0, 3, 100);
  SetAlign(TAlign::alLeft);
}

void TSplitter::SetAlign(TAlign a) {
  // The thickness (3 pixels across the drag) follows the orientation.
  bool wasHorizontal = Align() == TAlign::alTop || Align() == TAlign::alBottom;
  int thickness = wasHorizontal ? Height() : Width();
  TControl::SetAlign(a);
  if (a == TAlign::alTop || a == TAlign::alBottom) SetHeight(thickness);
  else if (a == TAlign::alLeft || a == TAlign::alRight) SetWidth(thickness);
}

TControl* TSplitter::ResizeControl() const {
  TWinControl* p = Parent();
  if (!p) return nullptr;
  for (int i = 0; i < p->ControlCount(); ++i) {
    TControl* c = p->Controls(i);
    if (c == this || c->Align() != Align() || !c->Visible()) continue;
    switch (Align()) {
      case TAlign::alLeft: if (c->Left() + c->Width() == Left()) return c; break;
      case TAlign::alRight: if (c->Left() == Left() + Width()) return c; break;
      case TAlign::alTop: if (c->Top() + c->Height() == Top()) return c; break;
      case TAlign::alBottom: if (c->Top() == Top() + Height()) return c; break;
      default: break;
    }
  }
  return nullptr;
}

void TSplitter::MoveBy(int delta) {
  TControl* c = ResizeControl();
  if (!c || delta == 0) return;
  TWinControl* p = Parent();
  // The rest of the parent keeps at least MinSize as well.
  bool vertical = Align() == TAlign::alLeft || Align() == TAlign::alRight;
  int room = vertical ? p->ClientWidth() : p->ClientHeight();
  int thickness = vertical ? Width() : Height();
  auto fit = [&](int size) { return std::clamp(size, minSize_, std::max(minSize_, room - minSize_ - thickness)); };
  switch (Align()) {
    case TAlign::alLeft: c->SetWidth(fit(c->Width() + delta)); break;
    case TAlign::alRight: c->SetWidth(fit(c->Width() - delta)); break;
    case TAlign::alTop: c->SetHeight(fit(c->Height() + delta)); break;
    case TAlign::alBottom: c->SetHeight(fit(c->Height() - delta)); break;
    default: return;
  }
  p->Realign();
}

bool TSplitter::WidgetEvent(QEvent* e) {
  bool horizontal = Align() == TAlign::alTop || Align() == TAlign::alBottom;
  switch (e->type()) {
    case QEvent::Enter:
      Widget()->setCursor(horizontal ? Qt::SplitVCursor : Qt::SplitHCursor);
      return false;
    case QEvent::MouseButtonPress: {
      auto* m = static_cast<QMouseEvent*>(e);
      if (m->button() != Qt::LeftButton) break;
      dragging_ = true;
      // Parent coordinates: the splitter itself moves while dragged.
      QPoint g = Widget()->mapToParent(m->position().toPoint());
      dragStart_ = horizontal ? g.y() : g.x();
      return true;
    }
    case QEvent::MouseMove: {
      if (!dragging_) break;
      auto* m = static_cast<QMouseEvent*>(e);
      QPoint g = Widget()->mapToParent(m->position().toPoint());
      int now = horizontal ? g.y() : g.x();
      MoveBy(now - dragStart_);
      dragStart_ = now;
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (!dragging_) break;
      dragging_ = false;
      Fire(OnMoved, this);
      return true;
    default: break;
  }
  return TControl::WidgetEvent(e);
}

}  // namespace ui
