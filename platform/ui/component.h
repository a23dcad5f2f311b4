// The component model: named components owned by other components, and the
// published-property registry that lets code and the form-text reader read
// and write any published property by name, as text.
//
// Invariants:
//  1. A component belongs to at most one owner; the owner frees every
//     component it owns, the last created first.  A component freed by
//     anyone else first leaves its owner's list, so nothing is freed twice.
//  2. Names are unique among the components of one owner, compared without
//     regard to case; an empty name is always allowed.
//  3. Every class has exactly one TClassInfo (its descriptor table); a
//     property is looked up in the class and then in its ancestors, names
//     compared without regard to case.  Property texts are the form-text
//     spellings: "True"/"False", enumeration names ("alClient"), sets
//     ("[akLeft,akTop]"), colours ("clBtnFace" or "$00FF0000").
//  4. This header and component.cpp use no Qt: the registry and the text
//     forms are plain C++ (the form-text parser and its fuzzer build on it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class TComponent;

// Events carry the sender first; a caller checks for assignment first.
using TNotifyEvent = std::function<void(TComponent* Sender)>;

template <class F, class... A>
inline void Fire(const F& event, A&&... args) {
  if (event) event(std::forward<A>(args)...);
}

enum class TPropKind { Integer, Boolean, String, Enum, Set, Color, Float, Strings, Collection, Binary };

struct TPropInfo {
  using Getter = std::function<std::string(const TComponent&)>;
  using Setter = std::function<bool(TComponent&, std::string_view)>;
  TPropInfo() = default;
  TPropInfo(std::string name, TPropKind kind, Getter get, Setter set)
      : Name(std::move(name)), Kind(kind), Get(std::move(get)), Set(std::move(set)) {}

  std::string Name;
  TPropKind Kind = TPropKind::String;
  std::function<std::string(const TComponent&)> Get;
  // Returns false when the text is not a valid value of the property.
  std::function<bool(TComponent&, std::string_view)> Set;
  // Collections (Kind == Collection): clear, add an item (its index), and set
  // one property of item i.
  std::function<void(TComponent&)> ClearItems;
  std::function<int(TComponent&)> AddItem;
  std::function<bool(TComponent&, int, std::string_view, std::string_view)> SetItemProp;
  // Strings (Kind == Strings) and binary data: the lines / the raw bytes.
  std::function<bool(TComponent&, const std::vector<std::string>&)> SetLines;
};

struct TEventInfo {
  std::string Name;
  // Non-null for events of the notify kind (sender only), which can be bound
  // by name to a method of the form's method table.
  std::function<TNotifyEvent*(TComponent&)> Notify;
};

struct TClassInfo {
  std::string Name;
  const TClassInfo* Parent = nullptr;
  std::vector<TPropInfo> Props;
  std::vector<TEventInfo> Events;
  // Creates an instance owned by the given owner; empty for abstract classes.
  std::function<TComponent*(TComponent* owner)> Create;

  const TPropInfo* FindProp(std::string_view name) const;
  const TEventInfo* FindEvent(std::string_view name) const;
  bool InheritsFrom(const TClassInfo& other) const;
  bool InheritsFrom(std::string_view className) const;
  // Every published property name, ancestors first.
  std::vector<std::string> PropNames() const;
};

// The class registry used by the form-text reader.  The standard controls
// register themselves on first use; programs may add their own classes, or
// register an existing class under a second name.
void RegisterClass(const TClassInfo& info);
void RegisterClassAlias(std::string_view alias, const TClassInfo& info);
const TClassInfo* FindClass(std::string_view name);
// Installed by the control library so that FindClass sees the standard classes.
void SetStandardClassRegistrar(void (*registrar)());

class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  static const TClassInfo& StaticClassInfo();
  virtual const TClassInfo& ClassInfo() const { return StaticClassInfo(); }
  const std::string& ClassName() const { return ClassInfo().Name; }

  const std::string& Name() const { return name_; }
  // Refused (false) when another component of the same owner has the name
  // or the name is not an identifier.
  bool SetName(std::string_view name);
  TComponent* Owner() const { return owner_; }
  int Tag() const { return tag_; }
  void SetTag(int v) { tag_ = v; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_.at(static_cast<std::size_t>(i)); }
  // Direct components only, name compared without regard to case.
  TComponent* FindComponent(std::string_view name) const;
  // Frees every owned component, the last created first.
  void DestroyComponents();

  // Published properties by name, as text.
  bool HasProp(std::string_view name) const { return ClassInfo().FindProp(name) != nullptr; }
  std::optional<std::string> GetProp(std::string_view name) const;
  // Empty text for a property the class does not publish.
  std::string GetPropText(std::string_view name) const { return GetProp(name).value_or(""); }
  // false when the property is unknown or the text is no valid value; the
  // reason goes to *error when given.
  bool SetPropText(std::string_view name, std::string_view text, std::string* error = nullptr);
  std::vector<std::string> PropNames() const { return ClassInfo().PropNames(); }
  bool HasEvent(std::string_view name) const { return ClassInfo().FindEvent(name) != nullptr; }
  // The notify event of that name, or null.
  TNotifyEvent* NotifyEvent(std::string_view name);

  // Method table of a root component (a form): handlers by name, which the
  // form-text reader binds to events such as "OnClick = Button1Click".
  void RegisterMethod(std::string_view name, TNotifyEvent handler);
  const TNotifyEvent* MethodAddress(std::string_view name) const;

  // Texts of properties that are read and kept but have no effect here
  // (form-text bookkeeping such as PixelsPerInch).
  std::string StoredProp(std::string_view name) const;
  void SetStoredProp(std::string_view name, std::string_view value);

  // Called once the form-text reader has set every property of this
  // component and its children.
  virtual void Loaded() {}
  bool Loading() const { return loading_; }
  void SetLoading(bool v) { loading_ = v; }

 protected:
  bool Destroying() const { return destroying_; }
  void BeginDestroy() { destroying_ = true; }

 private:
  void Insert(TComponent* c);
  void Remove(TComponent* c);

  std::string name_;
  TComponent* owner_ = nullptr;
  int tag_ = 0;
  bool loading_ = false;
  bool destroying_ = false;
  std::vector<TComponent*> components_;
  std::vector<std::pair<std::string, TNotifyEvent>> methods_;
  std::vector<std::pair<std::string, std::string>> stored_;
};

// --- text forms of property values -------------------------------------------
// Enumerations: names in value order (value 0 first).
using TEnumNames = std::vector<std::string>;
std::string EnumToText(const TEnumNames& names, int value);
std::optional<int> TextToEnum(const TEnumNames& names, std::string_view text);
// Sets: bit i stands for names[i]; "[a,b]" with any blanks, "[]" empty.
std::string SetToText(const TEnumNames& names, unsigned bits);
std::optional<unsigned> TextToSet(const TEnumNames& names, std::string_view text);
std::string BoolToText(bool v);  // "True" / "False"
std::optional<bool> TextToBool(std::string_view text);  // any case
// Decimal, or hexadecimal with a leading '$'; blanks around allowed.
std::optional<long long> TextToInt(std::string_view text);
// True for a Pascal identifier (letter or '_' first, then letters, digits, '_').
bool IsIdent(std::string_view s);

// --- colours -------------------------------------------------------------------
// BGR in the low three bytes; 0xFF000000 | index for system colours (the
// older 0x80000000 | index is read as the same colour).
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
                 clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF, clMedGray = 0xA4A0A0,
                 clNone = 0x1FFFFFFF, clDefault = 0x20000000;
constexpr TColor SysColor(int index) { return static_cast<TColor>(0xFF000000u | static_cast<unsigned>(index)); }
constexpr TColor clScrollBar = SysColor(0), clBackground = SysColor(1), clActiveCaption = SysColor(2),
                 clInactiveCaption = SysColor(3), clMenu = SysColor(4), clWindow = SysColor(5),
                 clWindowFrame = SysColor(6), clMenuText = SysColor(7), clWindowText = SysColor(8),
                 clCaptionText = SysColor(9), clActiveBorder = SysColor(10), clInactiveBorder = SysColor(11),
                 clAppWorkSpace = SysColor(12), clHighlight = SysColor(13), clHighlightText = SysColor(14),
                 clBtnFace = SysColor(15), clBtnShadow = SysColor(16), clGrayText = SysColor(17),
                 clBtnText = SysColor(18), clInactiveCaptionText = SysColor(19), clBtnHighlight = SysColor(20),
                 cl3DDkShadow = SysColor(21), cl3DLight = SysColor(22), clInfoText = SysColor(23),
                 clInfoBk = SysColor(24), clHotLight = SysColor(26), clGradientActiveCaption = SysColor(27),
                 clGradientInactiveCaption = SysColor(28), clMenuHighlight = SysColor(29), clMenuBar = SysColor(30);
std::string ColorToText(TColor c);
std::optional<TColor> TextToColor(std::string_view text);
// 0xRRGGBB of any colour, system colours taken from a fixed classic palette.
std::uint32_t ColorToRgb(TColor c);

}  // namespace ui
