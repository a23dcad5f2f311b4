// Component ownership, the class registry and the text forms of property
// values.  Plain C++: no Qt here.
#include "platform/ui/component.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <mutex>

namespace ui {

namespace {

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool Same(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

struct Registry {
  std::map<std::string, const TClassInfo*> classes;
  void (*registrar)() = nullptr;
  bool standardDone = false;
};

Registry& Reg() {
  static Registry r;
  return r;
}

void EnsureStandard() {
  Registry& r = Reg();
  if (!r.standardDone && r.registrar) {
    r.standardDone = true;
    r.registrar();
  }
}

}  // namespace

// --- class descriptors -----------------------------------------------------------

const TPropInfo* TClassInfo::FindProp(std::string_view name) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const TPropInfo& p : c->Props)
      if (Same(p.Name, name)) return &p;
  return nullptr;
}

const TEventInfo* TClassInfo::FindEvent(std::string_view name) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const TEventInfo& e : c->Events)
      if (Same(e.Name, name)) return &e;
  return nullptr;
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    if (c == &other) return true;
  return false;
}

bool TClassInfo::InheritsFrom(std::string_view className) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    if (Same(c->Name, className)) return true;
  return false;
}

std::vector<std::string> TClassInfo::PropNames() const {
  std::vector<const TClassInfo*> chain;
  for (const TClassInfo* c = this; c; c = c->Parent) chain.push_back(c);
  std::vector<std::string> names;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const TPropInfo& p : (*it)->Props)
      if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return Same(n, p.Name); }))
        names.push_back(p.Name);
  return names;
}

void RegisterClass(const TClassInfo& info) { Reg().classes[Lower(info.Name)] = &info; }
void RegisterClassAlias(std::string_view alias, const TClassInfo& info) { Reg().classes[Lower(alias)] = &info; }

const TClassInfo* FindClass(std::string_view name) {
  EnsureStandard();
  auto& m = Reg().classes;
  auto it = m.find(Lower(name));
  return it == m.end() ? nullptr : it->second;
}

void SetStandardClassRegistrar(void (*registrar)()) { Reg().registrar = registrar; }

// --- components ------------------------------------------------------------------

const TClassInfo& TComponent::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassInfo ci;
    ci.Name = "TComponent";
    ci.Props.push_back({"Name", TPropKind::String,
                        [](const TComponent& c) { return c.Name(); },
                        [](TComponent& c, std::string_view t) { return c.SetName(t); }});
    ci.Props.push_back({"Tag", TPropKind::Integer,
                        [](const TComponent& c) { return std::to_string(c.Tag()); },
                        [](TComponent& c, std::string_view t) {
                          auto v = TextToInt(t);
                          if (!v) return false;
                          c.SetTag(static_cast<int>(*v));
                          return true;
                        }});
    return ci;
  }();
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->Insert(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  DestroyComponents();
  if (owner_) owner_->Remove(this);
}

void TComponent::Insert(TComponent* c) {
  components_.push_back(c);
  c->owner_ = this;
}

void TComponent::Remove(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it != components_.end()) components_.erase(it);
  c->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  // Each deletion removes the component from the list (invariant 1).
  while (!components_.empty()) delete components_.back();
}

bool TComponent::SetName(std::string_view name) {
  if (!name.empty() && !IsIdent(name)) return false;
  if (!name.empty() && owner_) {
    TComponent* other = owner_->FindComponent(name);
    if (other && other != this) return false;
  }
  name_ = std::string(name);
  return true;
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (Same(c->name_, name)) return c;
  return nullptr;
}

std::optional<std::string> TComponent::GetProp(std::string_view name) const {
  const TPropInfo* p = ClassInfo().FindProp(name);
  if (!p || !p->Get) return std::nullopt;
  return p->Get(*this);
}

bool TComponent::SetPropText(std::string_view name, std::string_view text, std::string* error) {
  const TPropInfo* p = ClassInfo().FindProp(name);
  if (!p) {
    if (error) *error = "class " + ClassName() + " has no property \"" + std::string(name) + "\"";
    return false;
  }
  if (!p->Set) {
    if (error) *error = "property \"" + p->Name + "\" of " + ClassName() + " cannot be written as text";
    return false;
  }
  if (!p->Set(*this, text)) {
    if (error) *error = "\"" + std::string(text) + "\" is not a valid value of " + ClassName() + "." + p->Name;
    return false;
  }
  return true;
}

TNotifyEvent* TComponent::NotifyEvent(std::string_view name) {
  const TEventInfo* e = ClassInfo().FindEvent(name);
  return e && e->Notify ? e->Notify(*this) : nullptr;
}

void TComponent::RegisterMethod(std::string_view name, TNotifyEvent handler) {
  for (auto& m : methods_)
    if (Same(m.first, name)) {
      m.second = std::move(handler);
      return;
    }
  methods_.emplace_back(std::string(name), std::move(handler));
}

const TNotifyEvent* TComponent::MethodAddress(std::string_view name) const {
  for (auto& m : methods_)
    if (Same(m.first, name)) return &m.second;
  return nullptr;
}

std::string TComponent::StoredProp(std::string_view name) const {
  for (auto& m : stored_)
    if (Same(m.first, name)) return m.second;
  return {};
}

void TComponent::SetStoredProp(std::string_view name, std::string_view value) {
  for (auto& m : stored_)
    if (Same(m.first, name)) {
      m.second = std::string(value);
      return;
    }
  stored_.emplace_back(std::string(name), std::string(value));
}

// --- text forms ------------------------------------------------------------------

bool IsIdent(std::string_view s) {
  if (s.empty()) return false;
  auto first = static_cast<unsigned char>(s[0]);
  if (!(std::isalpha(first) || first == '_')) return false;
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    if (!(std::isalnum(c) || c == '_')) return false;
  }
  return true;
}

std::string EnumToText(const TEnumNames& names, int value) {
  if (value >= 0 && static_cast<std::size_t>(value) < names.size()) return names[static_cast<std::size_t>(value)];
  return std::to_string(value);
}

std::optional<int> TextToEnum(const TEnumNames& names, std::string_view text) {
  text = TrimView(text);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (Same(names[i], text)) return static_cast<int>(i);
  // The ordinal is accepted too, within range.
  if (auto v = TextToInt(text); v && *v >= 0 && static_cast<std::size_t>(*v) < names.size())
    return static_cast<int>(*v);
  return std::nullopt;
}

std::string SetToText(const TEnumNames& names, unsigned bits) {
  std::string r = "[";
  bool first = true;
  for (std::size_t i = 0; i < names.size() && i < 32; ++i)
    if (bits & (1u << i)) {
      if (!first) r += ',';
      r += names[i];
      first = false;
    }
  return r + "]";
}

std::optional<unsigned> TextToSet(const TEnumNames& names, std::string_view text) {
  text = TrimView(text);
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') return std::nullopt;
  text = text.substr(1, text.size() - 2);
  unsigned bits = 0;
  while (!TrimView(text).empty()) {
    std::size_t comma = text.find(',');
    std::string_view item = TrimView(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    bool found = false;
    for (std::size_t i = 0; i < names.size() && i < 32; ++i)
      if (Same(names[i], item)) {
        bits |= 1u << i;
        found = true;
      }
    if (!found) return std::nullopt;
    if (comma != std::string_view::npos && TrimView(text).empty()) return std::nullopt;  // "[a,]"
  }
  return bits;
}

std::string BoolToText(bool v) { return v ? "True" : "False"; }

std::optional<bool> TextToBool(std::string_view text) {
  text = TrimView(text);
  if (Same(text, "True")) return true;
  if (Same(text, "False")) return false;
  return std::nullopt;
}

std::optional<long long> TextToInt(std::string_view text) {
  text = TrimView(text);
  if (text.empty()) return std::nullopt;
  bool neg = false;
  if (text[0] == '-' || text[0] == '+') {
    neg = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long v = 0;
  for (char ch : text) {
    int d;
    if (ch >= '0' && ch <= '9') d = ch - '0';
    else if (base == 16 && ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
    else if (base == 16 && ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
    else return std::nullopt;
    v = v * base + d;
  }
  return neg ? -v : v;
}

namespace {

struct ColorName {
  TColor value;
  const char* name;
};

const ColorName kColorNames[] = {
    {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
    {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
    {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
    {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"}, {clSkyBlue, "clSkyBlue"}, {clCream, "clCream"},
    {clMedGray, "clMedGray"}, {clNone, "clNone"}, {clDefault, "clDefault"},
    {clScrollBar, "clScrollBar"}, {clBackground, "clBackground"}, {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"}, {clMenu, "clMenu"}, {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"}, {clMenuText, "clMenuText"}, {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"}, {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"}, {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"}, {clHighlightText, "clHighlightText"}, {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"}, {clGrayText, "clGrayText"}, {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"}, {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"}, {cl3DLight, "cl3DLight"}, {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"}, {clHotLight, "clHotLight"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"}, {clMenuHighlight, "clMenuHighlight"},
    {clMenuBar, "clMenuBar"},
};

// Classic palette of the system colours, 0xRRGGBB, by index.
const std::uint32_t kSysRgb[31] = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x0078D7, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x0078D7, 0xF0F0F0,
};

}  // namespace

std::string ColorToText(TColor c) {
  for (const ColorName& n : kColorNames)
    if (n.value == c) return n.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(c));
  return buf;
}

std::optional<TColor> TextToColor(std::string_view text) {
  text = TrimView(text);
  for (const ColorName& n : kColorNames)
    if (Same(n.name, text)) return n.value;
  auto v = TextToInt(text);
  if (!v || *v < -2147483648LL || *v > 0xFFFFFFFFLL) return std::nullopt;
  auto u = static_cast<std::uint32_t>(*v);
  if ((u & 0xFF000000u) == 0x80000000u) u |= 0xFF000000u;
  return static_cast<TColor>(u);
}

std::uint32_t ColorToRgb(TColor c) {
  auto u = static_cast<std::uint32_t>(c);
  if ((u & 0xFF000000u) == 0x80000000u || (u & 0xFF000000u) == 0xFF000000u) {
    std::uint32_t i = u & 0xFF;
    return i < 31 ? kSysRgb[i] : 0;
  }
  if (c == clNone || c == clDefault) return 0xFFFFFF;
  return ((u & 0xFF) << 16) | (u & 0xFF00) | ((u >> 16) & 0xFF);
}

}  // namespace ui
