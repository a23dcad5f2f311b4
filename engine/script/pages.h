// The narrow interface through which the interpreter shows wizard pages.
//
// The wizard-page subsystem implements it; until it exists the engine runs
// with no page host, and "Display Dialog" / "Hide Dialog" end the script
// with a runtime error that names the command.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// Result codes of a page (the pending result of the page).
inline constexpr int kPageNext = 6;
inline constexpr int kPageBack = 7;
inline constexpr int kPageCancel = 2;
inline constexpr int kPageCustom = 8;   // text = the control's name
inline constexpr int kPageNotModal = 0;

struct PageResult {
  int code = kPageNotModal;
  std::string text;            // the control's name for kPageCustom
  std::uintptr_t window = 0;   // window of a page shown without waiting
};

class PageHost {
 public:
  virtual ~PageHost() = default;
  // Shows the page preloaded under `key` (the command's index in decimal).
  virtual PageResult Show(std::string_view key, std::string_view dialogName, bool modal) = 0;
  // Hides the current page.
  virtual void Hide() = 0;
  // Pushes PROGRESS / PROGRESSTEXT to the page shown without waiting.
  virtual void UpdateProgress(std::string_view /*text*/, int /*percent*/) {}
  // Releases all pages (end of script).
  virtual void FreePages() {}
  // Handles pending window messages once (every 314th command and after a
  // progress update).
  virtual void ProcessMessages() {}
  // The user confirmed Cancel on a running progress page.
  virtual bool CancelRequested() const { return false; }
};

// The text "Display Dialog" stores for a result.
std::string PageResultText(const PageResult& r);

}  // namespace engine
