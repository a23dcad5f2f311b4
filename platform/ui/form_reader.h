// Builds components from form text (see form_text.h) on the registered
// classes: each object is created by its class name, owned by the root,
// parented to the control it is nested in, and given its properties by
// name.
//
// Invariants:
//  1. Nothing is built when the text does not parse.
//  2. An unknown class skips that object and everything nested in it; an
//     unknown property or a bad value skips that property.  Each is one
//     line of `problems` ("line N: ..."), and reading goes on.
//  3. Components are marked Loading while their properties are set;
//     Loaded() runs for every one of them once the whole text is read.
//  4. Events name methods of the root's method table; a method that is not
//     there leaves the event unassigned and is reported.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/component.h"
#include "platform/ui/form_text.h"

namespace ui {

class TForm;

// Reads the text into an existing root (its own properties and its
// children); true when the text parsed.
bool ReadForm(TComponent& root, std::string_view text, std::vector<std::string>* problems = nullptr);
bool ReadForm(TComponent& root, const TFormObject& tree, std::vector<std::string>* problems = nullptr);

// Creates a form of the class the text names (a TForm when the class is not
// registered, as designed forms are classes of their own) and reads the text
// into it; runs OnCreate.  Null when the text does not parse.
std::unique_ptr<TForm> CreateFormFromText(std::string_view text, TComponent* owner = nullptr,
                                          std::vector<std::string>* problems = nullptr);

}  // namespace ui
