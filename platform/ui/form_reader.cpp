// The form-text reader: parse tree to components.
#include "platform/ui/form_reader.h"

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

namespace ui {

void RegisterStandardClasses();  // registry.cpp
namespace {
// FindClass sees the standard classes wherever controls are linked in.
const bool kStandardClassesRegistered = (SetStandardClassRegistrar(&RegisterStandardClasses), true);
}  // namespace

namespace {

class Reader {
 public:
  Reader(TComponent& root, std::vector<std::string>* problems) : root_(root), problems_(problems) {}

  void Read(const TFormObject& tree) {
    Begin(root_);
    if (root_.Name().empty() && !tree.name.empty()) root_.SetName(tree.name);
    SetProps(root_, tree);
    ReadChildren(root_, tree);
    for (TComponent* c : loaded_) c->Loaded();
    for (TComponent* c : loaded_) c->SetLoading(false);
  }

 private:
  void Problem(int line, const std::string& text) {
    if (problems_) problems_->push_back("line " + std::to_string(line) + ": " + text);
  }

  void Begin(TComponent& c) {
    c.SetLoading(true);
    loaded_.push_back(&c);
  }

  static std::string Label(const TComponent& c) {
    return (c.Name().empty() ? std::string("(unnamed)") : c.Name()) + " (" + c.ClassName() + ")";
  }

  void ReadChildren(TComponent& parent, const TFormObject& obj) {
    for (const TFormObject& child : obj.children) {
      const TClassInfo* ci = FindClass(child.className);
      if (!ci || !ci->Create) {
        Problem(child.line, "unknown class " + child.className + " of " +
                                (child.name.empty() ? std::string("an unnamed object") : child.name) +
                                "; the object and its children are left out");
        continue;
      }
      TComponent* c = ci->Create(&root_);
      Begin(*c);
      if (!child.name.empty() && !c->SetName(child.name))
        Problem(child.line, "the name " + child.name + " is already used or not valid; the " +
                                child.className + " stays unnamed");
      if (auto* ctl = dynamic_cast<TControl*>(c)) {
        if (auto* p = dynamic_cast<TWinControl*>(&parent)) ctl->SetParent(p);
      }
      SetProps(*c, child);
      ReadChildren(*c, child);
    }
  }

  void SetProps(TComponent& c, const TFormObject& obj) {
    for (const TFormProperty& p : obj.props) SetProp(c, p);
  }

  void SetProp(TComponent& c, const TFormProperty& p) {
    if (c.HasEvent(p.name)) {
      if (p.value.kind != TFormValue::Ident) {
        Problem(p.line, "event " + p.name + " of " + Label(c) + " must name a method");
        return;
      }
      TNotifyEvent* ev = c.NotifyEvent(p.name);
      const TNotifyEvent* m = root_.MethodAddress(p.value.text);
      if (ev && m) *ev = *m;
      else Problem(p.line, "method " + p.value.text + " for " + Label(c) + "." + p.name + " is not available");
      return;
    }
    const TPropInfo* info = c.ClassInfo().FindProp(p.name);
    if (!info) {
      Problem(p.line, Label(c) + " has no property " + p.name);
      return;
    }
    bool ok = true;
    switch (info->Kind) {
      case TPropKind::Strings:
        if (p.value.kind == TFormValue::List && info->SetLines) {
          std::vector<std::string> lines;
          for (const TFormValue& v : p.value.list) lines.push_back(FormValueText(v));
          ok = info->SetLines(c, lines);
        } else {
          ok = info->Set && info->Set(c, FormValueText(p.value));
        }
        break;
      case TPropKind::Collection:
        if (p.value.kind != TFormValue::Collection || !info->AddItem) {
          ok = false;
          break;
        }
        if (info->ClearItems) info->ClearItems(c);
        for (const TFormItem& item : p.value.items) {
          int i = info->AddItem(c);
          for (const TFormProperty& ip : item.props)
            if (!info->SetItemProp(c, i, ip.name, FormValueText(ip.value)))
              Problem(ip.line, "item property " + ip.name + " of " + Label(c) + "." + p.name + " was not taken");
        }
        break;
      default:
        if (p.value.kind == TFormValue::List || p.value.kind == TFormValue::Collection) {
          // Lists of other properties (DesignSize and the like) are kept as given.
          ok = info->Set && info->Set(c, "");
        } else {
          ok = info->Set && info->Set(c, FormValueText(p.value));
        }
        break;
    }
    if (!ok) Problem(p.line, "value " + FormValueText(p.value) + " is not valid for " + Label(c) + "." + p.name);
  }

  TComponent& root_;
  std::vector<std::string>* problems_;
  std::vector<TComponent*> loaded_;
};

}  // namespace

bool ReadForm(TComponent& root, const TFormObject& tree, std::vector<std::string>* problems) {
  Reader(root, problems).Read(tree);
  return true;
}

bool ReadForm(TComponent& root, std::string_view text, std::vector<std::string>* problems) {
  TFormParseResult r = ParseFormText(text);
  if (!r.ok) {
    if (problems) problems->push_back(r.error);
    return false;
  }
  return ReadForm(root, r.root, problems);
}

std::unique_ptr<TForm> CreateFormFromText(std::string_view text, TComponent* owner, std::vector<std::string>* problems) {
  TFormParseResult r = ParseFormText(text);
  if (!r.ok) {
    if (problems) problems->push_back(r.error);
    return nullptr;
  }
  std::unique_ptr<TForm> form;
  const TClassInfo* ci = FindClass(r.root.className);
  if (ci && ci->Create && ci->InheritsFrom(TForm::StaticClassInfo()))
    form.reset(static_cast<TForm*>(ci->Create(owner)));
  else
    form = std::make_unique<TForm>(owner);
  ReadForm(*form, r.root, problems);
  form->DoCreate();
  return form;
}

}  // namespace ui
