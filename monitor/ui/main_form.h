// TMainForm: the monitor's only top-level window, built in code on the
// component layer.  It shows what TAcquisition holds (values panel, status
// bar, gauge) and hands the user's commands to it; the cycle itself lives in
// TAcquisition, so nothing here decides what is read or stored.
//
// Pages: on-line view (values panel with 16 device boxes and 50 value
// fields, the graph area gp_Graph below it, still empty), database
// management, settings.  The history page is not shown.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "monitor/storage/db_manager.h"
#include "monitor/ui/acquisition.h"
#include "monitor/ui/language.h"
#include "monitor/ui/paths.h"
#include "monitor/ui/settings.h"
#include "monitor/ui/status_log.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace kv90::app {

constexpr const char* kAppCaption = "Kv90Sw - v1.3";

class TMainForm : public ui::TForm {
 public:
  explicit TMainForm(TAppPaths paths);
  ~TMainForm() override;

  // ---- published handlers ----
  void FormCreate(ui::TComponent* Sender);
  void FormClose(ui::TComponent* Sender, ui::TCloseAction& Action);
  void FormResize(ui::TComponent* Sender);
  void sb_StatusResize(ui::TComponent* Sender);
  void bt_AcceptSettingsClick(ui::TComponent* Sender);
  void bt_DiscardSettingsClick(ui::TComponent* Sender);
  void PageControl1Change(ui::TComponent* Sender);
  void PageControl1Changing(ui::TComponent* Sender, bool& AllowChange);
  void p_ValuesResize(ui::TComponent* Sender);
  void bbtn_ValuesLeftClick(ui::TComponent* Sender);
  void bbtn_ValuesRightClick(ui::TComponent* Sender);
  void btn_GrClick(ui::TComponent* Sender);
  void bt_ExportClick(ui::TComponent* Sender);
  void rg_BackupIntervalClick(ui::TComponent* Sender);
  void bt_BackupSetClick(ui::TComponent* Sender);
  void bt_BackupCancelClick(ui::TComponent* Sender);
  void bt_BackupBrowseClick(ui::TComponent* Sender);
  void btn_BackupClick(ui::TComponent* Sender);
  void btn_RestoreClick(ui::TComponent* Sender);

  // Language: reads section "Messages" of the chosen file / every section.
  void LoadMessages();
  void ApplyLanguage(const std::string& langFile);
  void ListLanguages();

  // Values panel layout for the present configuration and panel size.
  void LayoutValues();
  void ShowValues();

  TAcquisition& Acquisition() { return *acq_; }
  TLanguage& Language() { return lang_; }
  TStatusLog& Status() { return *status_; }
  const TAppPaths& Paths() const { return paths_; }
  TDB_Manager* DBManager() { return dbman_.get(); }
  int SelectedDevice() const { return selected_; }
  int FirstShownDevice() const { return firstShown_; }

  ui::TPageControl* PageControl1 = nullptr;
  ui::TTabSheet *ts_OnLineView = nullptr, *ts_DBManager = nullptr, *ts_Nastaveni = nullptr;
  ui::TPanel *p_Values = nullptr, *p_Graph = nullptr, *gp_Graph = nullptr;
  ui::TSplitter* Splitter1 = nullptr;
  ui::TButton *bbtn_ValuesLeft = nullptr, *bbtn_ValuesRight = nullptr, *btn_ExportData = nullptr;
  std::array<ui::TPanel*, kDeviceBoxes> gb_Dev{};       // framed box per device
  std::array<ui::TLabel*, kDeviceBoxes> l_DevCaption{};  // its caption
  std::array<ui::TButton*, kDeviceBoxes> btn_Gr{};
  std::array<ui::TEdit*, kValueFields> ed_Value{};
  std::array<ui::TLabel*, kValueFields> l_Value{};
  ui::TStatusBar* sb_Status = nullptr;
  ui::TProgressBar* pb_Gauge = nullptr;

  // settings page
  ui::TGroupBox *gb_CommSettings = nullptr, *gb_SetDBBackup = nullptr, *gb_Lang = nullptr;
  ui::TLabel *l_CommPort = nullptr, *l_BaudRate = nullptr, *l_CommAddr = nullptr;
  ui::TComboBox *cb_CommPort = nullptr, *cb_BaudRate = nullptr, *cb_Lang = nullptr;
  ui::TSpinEdit* se_CommAddr = nullptr;
  ui::TCheckBox* chb_MoveDBBackupFiles = nullptr;
  ui::TButton *bt_AcceptSettings = nullptr, *bt_DiscardSettings = nullptr;

  // database page
  ui::TGroupBox *gb_Backup = nullptr, *gb_BackupFileName = nullptr, *gb_BackupList = nullptr;
  ui::TEdit* ed_BackupFileName = nullptr;
  ui::TButton* bt_BackupBrowse = nullptr;
  ui::TListBox* lb_BackupList = nullptr;
  ui::TRadioGroup* rg_BackupInterval = nullptr;
  ui::TSpinEdit* se_BackupInterval = nullptr;
  ui::TButton *btn_Backup = nullptr, *btn_Restore = nullptr, *bt_BackupSet = nullptr, *bt_BackupCancel = nullptr;
  ui::TGroupBox *gb_OnLineExport = nullptr, *gb_OnLineExportDateTimes = nullptr;
  ui::TLabel *l_OnLineExportStartDateTime = nullptr, *l_OnLineExportStopDateTime = nullptr;
  ui::TMaskEdit *me_ExportStart = nullptr, *me_ExportStop = nullptr;
  ui::TButton* bt_Export = nullptr;

 private:
  void BuildOnLinePage();
  void BuildDBManagerPage();
  void BuildSettingsPage();
  void BuildStatusBar();
  void UpdateConfigPanels();
  void UpdateGauge();
  void ShowBackupSettings();
  void SaveViewSettings();
  void FillRestorePoints();
  void CreateDBManager();

  TAppPaths paths_;
  TLanguage lang_;
  std::unique_ptr<TStatusLog> status_;
  std::unique_ptr<TAcquisition> acq_;
  std::unique_ptr<TDB_Manager> dbman_;
  TMonitorSettings settings_;
  int selected_ = 0;
  int firstShown_ = 0;
  bool exportRunning_ = false;
  bool closing_ = false;
  std::string graphCaption_;
};

}  // namespace kv90::app
