// Private helpers that build property descriptors from getter / setter
// lambdas of a class.  Only the control library's .cpp files include this.
#pragma once

#include <string>
#include <utility>

#include "platform/ui/component.h"

namespace ui::props {

template <class C, class G, class S>
TPropInfo Int(std::string name, G get, S set) {
  return {std::move(name), TPropKind::Integer,
          [get](const TComponent& c) { return std::to_string(get(static_cast<const C&>(c))); },
          [set](TComponent& c, std::string_view t) {
            auto v = TextToInt(t);
            if (!v || *v < -2147483648LL || *v > 2147483647LL) return false;
            set(static_cast<C&>(c), static_cast<int>(*v));
            return true;
          }};
}

template <class C, class G, class S>
TPropInfo Bool(std::string name, G get, S set) {
  return {std::move(name), TPropKind::Boolean,
          [get](const TComponent& c) { return BoolToText(get(static_cast<const C&>(c))); },
          [set](TComponent& c, std::string_view t) {
            auto v = TextToBool(t);
            if (!v) return false;
            set(static_cast<C&>(c), *v);
            return true;
          }};
}

template <class C, class G, class S>
TPropInfo Str(std::string name, G get, S set) {
  return {std::move(name), TPropKind::String,
          [get](const TComponent& c) { return std::string(get(static_cast<const C&>(c))); },
          [set](TComponent& c, std::string_view t) {
            set(static_cast<C&>(c), t);
            return true;
          }};
}

template <class C, class E, class G, class S>
TPropInfo Enum(std::string name, const TEnumNames& names, G get, S set) {
  return {std::move(name), TPropKind::Enum,
          [get, &names](const TComponent& c) {
            return EnumToText(names, static_cast<int>(get(static_cast<const C&>(c))));
          },
          [set, &names](TComponent& c, std::string_view t) {
            auto v = TextToEnum(names, t);
            if (!v) return false;
            set(static_cast<C&>(c), static_cast<E>(*v));
            return true;
          }};
}

template <class C, class G, class S>
TPropInfo Set(std::string name, const TEnumNames& names, G get, S set) {
  return {std::move(name), TPropKind::Set,
          [get, &names](const TComponent& c) { return SetToText(names, get(static_cast<const C&>(c))); },
          [set, &names](TComponent& c, std::string_view t) {
            auto v = TextToSet(names, t);
            if (!v) return false;
            set(static_cast<C&>(c), *v);
            return true;
          }};
}

template <class C, class G, class S>
TPropInfo Color(std::string name, G get, S set) {
  return {std::move(name), TPropKind::Color,
          [get](const TComponent& c) { return ColorToText(get(static_cast<const C&>(c))); },
          [set](TComponent& c, std::string_view t) {
            auto v = TextToColor(t);
            if (!v) return false;
            set(static_cast<C&>(c), *v);
            return true;
          }};
}

// A list of lines published as "Name" (text with CR LF) and read from form
// text as "Name.Strings = ('a' 'b')".
template <class C, class L>
void Lines(TClassInfo& ci, const std::string& name, L list) {
  TPropInfo p{name, TPropKind::Strings,
              [list](const TComponent& c) { return list(const_cast<C&>(static_cast<const C&>(c))).Text(); },
              [list](TComponent& c, std::string_view t) {
                list(static_cast<C&>(c)).SetText(t);
                return true;
              }};
  p.SetLines = [list](TComponent& c, const std::vector<std::string>& lines) {
    list(static_cast<C&>(c)).Assign(lines);
    return true;
  };
  ci.Props.push_back(p);
  TPropInfo s = p;
  s.Name = name + ".Strings";
  ci.Props.push_back(std::move(s));
}

template <class C>
TEventInfo Notify(std::string name, TNotifyEvent C::*member) {
  return {std::move(name), [member](TComponent& c) { return &(static_cast<C&>(c).*member); }};
}

// A property kept as text without effect (form-text bookkeeping).
inline TPropInfo Stored(std::string name, TPropKind kind = TPropKind::String) {
  return {name, kind, [name](const TComponent& c) { return c.StoredProp(name); },
          [name](TComponent& c, std::string_view t) {
            c.SetStoredProp(name, t);
            return true;
          }};
}

inline TEventInfo Other(std::string name) { return {std::move(name), nullptr}; }

}  // namespace ui::props

// Getter/setter pairs named X() / SetX().
#define UI_INT(C, P) ::ui::props::Int<C>(#P, [](const C& c) { return c.P(); }, [](C& c, int v) { c.Set##P(v); })
#define UI_BOOL(C, P) ::ui::props::Bool<C>(#P, [](const C& c) { return c.P(); }, [](C& c, bool v) { c.Set##P(v); })
#define UI_STR(C, P) \
  ::ui::props::Str<C>(#P, [](const C& c) { return c.P(); }, [](C& c, std::string_view v) { c.Set##P(v); })
#define UI_ENUM(C, E, P, NAMES) \
  ::ui::props::Enum<C, E>(#P, NAMES, [](const C& c) { return c.P(); }, [](C& c, E v) { c.Set##P(v); })
#define UI_SET(C, P, NAMES) \
  ::ui::props::Set<C>(#P, NAMES, [](const C& c) { return c.P(); }, [](C& c, unsigned v) { c.Set##P(v); })
#define UI_COLOR(C, P) \
  ::ui::props::Color<C>(#P, [](const C& c) { return c.P(); }, [](C& c, ::ui::TColor v) { c.Set##P(v); })
#define UI_EVENT(C, E) ::ui::props::Notify<C>(#E, &C::E)
