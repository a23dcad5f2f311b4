// Common controls: page control with tab sheets, status bar with panels,
// progress bar and gauge, spin edit, track bar and splitter.
//
// Page control: OnChanging runs while ActivePage is still the old page and
// may refuse the change; OnChange runs after it.  Both fire only for the
// user's change of tab, not for ActivePage set by the program (as in the
// class library the programs were written against).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

namespace ui {

class TTabSheet;

using TTabChangingEvent = std::function<void(TComponent* Sender, bool& AllowChange)>;

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int i) const { return pages_.at(static_cast<std::size_t>(i)); }
  TTabSheet* ActivePage() const;
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);
  // Switches as a user would: OnChanging, then (if allowed) OnChange.
  bool SelectPageByUser(int index);

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void ControlAdded(TControl* c) override;
  void ControlRemoved(TControl* c) override;
  void Loaded() override;

 private:
  friend class TTabSheet;
  void Insert(TTabSheet* sheet);
  void Remove(TTabSheet* sheet);
  void UpdateTab(TTabSheet* sheet);
  // The switch a user makes: OnChanging may refuse it.
  bool UserSwitch(int index);
  void ProgramSwitch(int index);
  std::vector<TTabSheet*> pages_;
  int shownIndex_ = -1;
  bool switching_ = false;
  std::string pendingActive_;
};

class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  void SetText(std::string_view text) override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* pc);
  void SetParent(TWinControl* parent) override;
  // The page control shows and hides its sheets itself.
  void SetVisible(bool) override {}
  int PageIndex() const;
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool v);

  TNotifyEvent OnShow, OnHide;

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
};

struct TStatusPanel {
  std::string Text;
  int Width = 50;
  TAlignment Alignment = TAlignment::taLeftJustify;
};

class TStatusBar : public TWinControl {
 public:
  explicit TStatusBar(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  int PanelCount() const { return static_cast<int>(panels_.size()); }
  // The panel's text and width; changes repaint the bar.
  const TStatusPanel& Panel(int i) const { return panels_.at(static_cast<std::size_t>(i)); }
  int AddPanel(int width = 50, std::string text = {});
  void ClearPanels();
  void SetPanelText(int i, std::string_view text);
  void SetPanelWidth(int i, int width);
  std::string PanelText(int i) const;
  // Where panel i is drawn, in the bar's own coordinates (the last panel
  // reaches the right edge); a gauge placed there covers the panel.
  TRect PanelRect(int i) const;
  bool SimplePanel() const { return simplePanel_; }
  void SetSimplePanel(bool v);
  const std::string& SimpleText() const { return simpleText_; }
  void SetSimpleText(std::string_view t);
  bool SizeGrip() const { return sizeGrip_; }
  void SetSizeGrip(bool v) { sizeGrip_ = v; Repaint(); }

 protected:
  bool WidgetEvent(QEvent* e) override;

 private:
  std::vector<TStatusPanel> panels_;
  bool simplePanel_ = false;
  std::string simpleText_;
  bool sizeGrip_ = true;
};

enum class TProgressBarOrientation { pbHorizontal, pbVertical };
enum class TProgressBarStyle { pbstNormal, pbstMarquee };

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  // Kept within Min..Max.
  int Position() const { return position_; }
  void SetPosition(int v);
  int Step() const { return step_; }
  void SetStep(int v) { step_ = v; }
  void StepIt();
  void StepBy(int delta) { SetPosition(position_ + delta); }
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool v) { smooth_ = v; }
  TProgressBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TProgressBarOrientation o);
  TProgressBarStyle Style() const { return style_; }
  void SetStyle(TProgressBarStyle s);
  TColor BarColor() const { return barColor_; }
  void SetBarColor(TColor c);
  TColor BackgroundColor() const { return backColor_; }
  void SetBackgroundColor(TColor c);

 protected:
  bool WidgetEvent(QEvent* e) override;
  bool showPercent_ = false;

 private:
  int min_ = 0, max_ = 100, position_ = 0, step_ = 10;
  bool smooth_ = false;
  TProgressBarOrientation orientation_ = TProgressBarOrientation::pbHorizontal;
  TProgressBarStyle style_ = TProgressBarStyle::pbstNormal;
  TColor barColor_ = clDefault, backColor_ = clDefault;
  int marqueePhase_ = 0;
};

// The gauge: a progress bar with the gauge's property names
// (MinValue, MaxValue, Progress, ForeColor, BackColor).
class TGauge : public TProgressBar {
 public:
  explicit TGauge(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

class TSpinEdit : public TWinControl {
 public:
  explicit TSpinEdit(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  int Value() const;
  void SetValue(int v);
  int MinValue() const;
  void SetMinValue(int v);
  int MaxValue() const;
  void SetMaxValue(int v);
  int Increment() const;
  void SetIncrement(int v);
  std::string GetText() const override;
  void SetText(std::string_view t) override;

  TNotifyEvent OnChange;
};

class TTrackBar : public TWinControl {
 public:
  explicit TTrackBar(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  int Min() const;
  void SetMin(int v);
  int Max() const;
  void SetMax(int v);
  int Position() const;
  void SetPosition(int v);
  TProgressBarOrientation Orientation() const;
  void SetOrientation(TProgressBarOrientation o);

  TNotifyEvent OnChange;
};

// Drags the edge between the control aligned before it and the rest of
// the parent; only meaningful with Align alTop, alBottom, alLeft or alRight.
class TSplitter : public TControl {
 public:
  explicit TSplitter(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void SetAlign(TAlign a) override;
  int MinSize() const { return minSize_; }
  void SetMinSize(int v) { minSize_ = v; }
  // The control the splitter resizes (the nearest one aligned to the same
  // side before it), or null.
  TControl* ResizeControl() const;
  // Moves the splitter by delta pixels as a drag would.
  void MoveBy(int delta);

  TNotifyEvent OnMoved;

 protected:
  bool WidgetEvent(QEvent* e) override;

 private:
  int minSize_ = 30;
  bool dragging_ = false;
  int dragStart_ = 0;
};

extern const TEnumNames kProgressOrientationNames, kProgressStyleNames;

}  // namespace ui
