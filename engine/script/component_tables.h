// The setup's component tables as the engine keeps them for one run: the
// component names in order of definition with one state each ("TRUE" or
// "FALSE"), and the deleted, hidden and locked name lists.  The size table
// is the script's own (Script::componentSizes).  The component commands and
// pages work on these lists; the engine cache saves and restores them.
#pragma once

#include "platform/base/string_list.h"

namespace engine {

struct ComponentTables {
  base::TStringList names;
  base::TStringList states;   // one per name
  base::TStringList deleted;
  base::TStringList hidden;
  base::TStringList locked;

  void Clear() {
    names.Clear();
    states.Clear();
    deleted.Clear();
    hidden.Clear();
    locked.Clear();
  }
};

}  // namespace engine
