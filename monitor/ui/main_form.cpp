// The main window: pages, values panel, status bar, language, settings.
#include "monitor/ui/main_form.h"

#include <algorithm>
#include <filesystem>

#include "monitor/comm/serial_port.h"
#include "monitor/ui/captions.h"
#include "platform/base/files.h"
#include "platform/base/ini_file.h"
#include "platform/base/text.h"
#include "platform/ui/dialogs.h"

namespace fs = std::filesystem;

namespace kv90::app {
namespace {

constexpr ui::TColor kSelectedBox = 0x90EE90;  // light green (BGR)
constexpr ui::TColor kOtherBox = 0xD3D3D3;     // light grey
constexpr int kRow = 33;
constexpr int kFieldWidth = 90;
constexpr int kFieldHeight = 30;
constexpr int kLabelWidth = 44;
constexpr int kColumnWidth = kLabelWidth + kFieldWidth + 6;
constexpr int kBoxTop = 20;     // caption of the box
constexpr int kBoxBottom = 30;  // the "Graph" button under the fields
constexpr int kBaudRates[] = {9600, 19200, 38400, 57600, 115200};
constexpr int kIntervalDays[] = {0, 1, 5, 7, 30};

// The database manager's ten-minute check on the event loop.
class TQtCheckTimer final : public TCheckTimer {
 public:
  TQtCheckTimer() : timer_(nullptr) {
    timer_.SetEnabled(false);
    timer_.SetInterval(kIntervalMs);
    timer_.OnTimer = [this](ui::TComponent*) { Fire(); };
  }
  void SetEnabled(bool on) override {
    TCheckTimer::SetEnabled(on);
    timer_.SetEnabled(on);
  }

 private:
  ui::TTimer timer_;
};

template <class T>
T* Make(ui::TComponent* owner, ui::TWinControl* parent, const char* name, int l, int t, int w, int h,
        const char* caption = nullptr) {
  auto* c = new T(owner);
  if (name && *name) c->SetName(name);
  c->SetParent(parent);
  c->SetBounds(l, t, w, h);
  if (caption) c->SetCaption(caption);
  return c;
}

}  // namespace

TMainForm::TMainForm(TAppPaths paths) : ui::TForm(nullptr), paths_(std::move(paths)) {
  SetName("MainForm");
  SetClientWidth(1000);
  SetClientHeight(620);
  RegisterMethod("FormCreate", [this](ui::TComponent* s) { FormCreate(s); });
  RegisterMethod("FormResize", [this](ui::TComponent* s) { FormResize(s); });
  OnCreate = [this](ui::TComponent* s) { FormCreate(s); };
  OnResize = [this](ui::TComponent* s) { FormResize(s); };
  OnClose = [this](ui::TComponent* s, ui::TCloseAction& a) { FormClose(s, a); };
}

TMainForm::~TMainForm() {
  if (!closing_) {
    ui::TCloseAction a = ui::TCloseAction::caFree;
    FormClose(this, a);
  }
}

// ------------------------------------------------------------------ start

void TMainForm::FormCreate(ui::TComponent*) {
  status_ = std::make_unique<TStatusLog>(lang_, comm::MakeQtTimer);
  status_->SetLogFile(paths_.LogFile());
  LoadMessages();                                       // 1
  SetCaption(kAppCaption);                              // 2
  ui::Application().SetTitle(kAppCaption);
  status_->Log(lang_.Text(Msg::AppWasRun));             // 3
  settings_ = TMonitorSettings::Load(paths_.SettingsFile());  // 4
  firstShown_ = settings_.View.ValuesPanelPos;

  PageControl1 = Make<ui::TPageControl>(this, this, "PageControl1", 0, 0, ClientWidth(), ClientHeight() - 22);
  BuildStatusBar();
  PageControl1->SetAlign(ui::TAlign::alClient);
  BuildOnLinePage();                                    // 5
  BuildDBManagerPage();                                 // 6
  BuildSettingsPage();
  PageControl1->OnChanging = [this](ui::TComponent* s, bool& allow) { PageControl1Changing(s, allow); };
  PageControl1->OnChange = [this](ui::TComponent* s) { PageControl1Change(s); };
  PageControl1->SetActivePage(ts_OnLineView);

  status_->OnChange = [this](const std::string& text) { sb_Status->SetPanelText(0, text); };

  acq_ = std::make_unique<TAcquisition>(paths_, lang_, *status_);
  acq_->Events.OnValues = [this] { ShowValues(); };
  acq_->Events.OnLayout = [this] { LayoutValues(); };
  acq_->Events.OnConfigPanels = [this] { UpdateConfigPanels(); };
  acq_->Events.OnGauge = [this] { UpdateGauge(); };
  acq_->Events.OnDatabaseReopened = [this] { CreateDBManager(); };
  acq_->Events.OnBackupSuspend = [this](bool suspend) {
    if (!dbman_) return;
    if (suspend) dbman_->SetBackupInterval(0);
    else dbman_->LoadBackupSettings();
  };

  bt_DiscardSettingsClick(this);                        // 9
  ApplyLanguage(base::JoinPath(paths_.LangDir, settings_.Lang));

  switch (settings_.View.WindowState) {
    case 1: SetWindowState(ui::TWindowState::wsMinimized); break;
    case 2: SetWindowState(ui::TWindowState::wsMaximized); break;
    default: break;
  }
  FormResize(this);
  acq_->Start();                                        // 7, 11, 12
  if (!dbman_) CreateDBManager();                       // 13
  ShowBackupSettings();
}

void TMainForm::CreateDBManager() {
  const int n = acq_ && acq_->Database().DatabaseOpen() ? acq_->Database().DatabaseDataValuesCount() : 0;
  dbman_ = std::make_unique<TDB_Manager>(paths_.SettingsFile(), paths_.Root, n, paths_.OnlineDb(),
                                         std::make_unique<TQtCheckTimer>());
  dbman_->OnAfterBackup = [this](const void* sender) {
    FillRestorePoints();
    const Msg m = sender == &dbman_->CheckTimer() ? Msg::AutomaticDBBackupWasEnd
                  : sender == btn_Backup          ? Msg::ManualDBBackupWasEnd
                                                  : Msg::UnknownDBBackupWasEnd;
    status_->ShowAndLog(lang_.Text(m), 4000);
  };
  dbman_->OnConfirmRestore = [](const std::string& text, const std::string& caption) {
    return ui::MessageBox(text, caption, ui::MB_YESNO | ui::MB_ICONWARNING | ui::MB_DEFBUTTON2) == ui::IDYES;
  };
  dbman_->OnBackupError = [this](const std::string& message) { status_->ShowAndLog(message, -1); };
  dbman_->LoadBackupSettings();
  btn_Backup->SetEnabled(true);
  FillRestorePoints();
}

void TMainForm::BuildStatusBar() {
  sb_Status = Make<ui::TStatusBar>(this, this, "sb_Status", 0, ClientHeight() - 22, ClientWidth(), 22);
  sb_Status->SetAlign(ui::TAlign::alBottom);
  for (int i = 0; i < 6; ++i) sb_Status->AddPanel(100);
  sb_Status->OnResize = [this](ui::TComponent* s) { sb_StatusResize(s); };
  pb_Gauge = Make<ui::TProgressBar>(this, sb_Status, "pb_Gauge", 0, 2, 100, 18);
  pb_Gauge->SetBackgroundColor(ui::clWhite);
  pb_Gauge->SetBarColor(ui::clBlue);
  pb_Gauge->SetVisible(false);
}

void TMainForm::BuildOnLinePage() {
  ts_OnLineView = new ui::TTabSheet(this);
  ts_OnLineView->SetName("ts_OnLineView");
  ts_OnLineView->SetPageControl(PageControl1);
  ts_OnLineView->SetCaption("On-line zobrazení");

  const int pageH = std::max(200, ts_OnLineView->ClientHeight());
  const int h = settings_.View.ShowSplitter && settings_.View.ValuesPanelHeight > 0 ? settings_.View.ValuesPanelHeight
                                                                                  : pageH * 45 / 100;
  p_Values = Make<ui::TPanel>(this, ts_OnLineView, "p_Values", 0, 0, ts_OnLineView->ClientWidth(), h);
  p_Values->SetAlign(ui::TAlign::alTop);
  p_Values->SetBevelOuter(ui::TBevelCut::bvNone);
  p_Values->OnResize = [this](ui::TComponent* s) { p_ValuesResize(s); };
  Splitter1 = Make<ui::TSplitter>(this, ts_OnLineView, "Splitter1", 0, h, ts_OnLineView->ClientWidth(), 4);
  Splitter1->SetAlign(ui::TAlign::alTop);
  Splitter1->SetVisible(settings_.View.ShowSplitter);
  Splitter1->OnMoved = [this](ui::TComponent*) { SaveViewSettings(); LayoutValues(); };
  p_Graph = Make<ui::TPanel>(this, ts_OnLineView, "p_Graph", 0, h + 4, ts_OnLineView->ClientWidth(), 100);
  p_Graph->SetAlign(ui::TAlign::alClient);
  p_Graph->SetBevelOuter(ui::TBevelCut::bvLowered);
  gp_Graph = Make<ui::TPanel>(this, p_Graph, "gp_Graph", 0, 0, 100, 100);
  gp_Graph->SetAlign(ui::TAlign::alClient);
  gp_Graph->SetBevelOuter(ui::TBevelCut::bvNone);
  gp_Graph->SetColor(ui::clWhite);

  bbtn_ValuesLeft = Make<ui::TButton>(this, p_Values, "bbtn_ValuesLeft", 3, 5, 22, 60, "<");
  bbtn_ValuesLeft->OnClick = [this](ui::TComponent* s) { bbtn_ValuesLeftClick(s); };
  bbtn_ValuesRight = Make<ui::TButton>(this, p_Values, "bbtn_ValuesRight", 100, 5, 22, 60, ">");
  bbtn_ValuesRight->OnClick = [this](ui::TComponent* s) { bbtn_ValuesRightClick(s); };
  btn_ExportData = Make<ui::TButton>(this, p_Values, "btn_ExportData", 0, 0, 80, 22, "Export dat");
  btn_ExportData->SetVisible(false);

  for (int d = 0; d < kDeviceBoxes; ++d) {
    auto* box = Make<ui::TPanel>(this, p_Values, ("gb_Dev" + std::to_string(d)).c_str(), 30, 5, 150, 100);
    box->SetVisible(false);
    box->SetCaption("");
    box->SetBevelOuter(ui::TBevelCut::bvRaised);
    box->SetBevelInner(ui::TBevelCut::bvLowered);
    box->SetColor(kOtherBox);
    gb_Dev[static_cast<std::size_t>(d)] = box;
    auto* cap = Make<ui::TLabel>(this, box, ("l_DevCaption" + std::to_string(d)).c_str(), 6, 4, 140, 16);
    cap->SetTransparent(true);
    l_DevCaption[static_cast<std::size_t>(d)] = cap;
    auto* b = Make<ui::TButton>(this, box, ("btn_Gr" + std::to_string(d)).c_str(), 5, 70, 70, 22, "Graf");
    b->SetTag(d);
    b->OnClick = [this](ui::TComponent* s) { btn_GrClick(s); };
    btn_Gr[static_cast<std::size_t>(d)] = b;
  }
  ui::TFont big;
  big.Height = -18;
  big.Style = ui::fsBold;
  big.Name = "Sans Serif";
  for (int i = 0; i < kValueFields; ++i) {
    auto* e = Make<ui::TEdit>(this, gb_Dev[0], ("ed_Value" + std::to_string(i)).c_str(), 0, 0, kFieldWidth, kFieldHeight);
    e->SetReadOnly(true);
    e->SetTabStop(false);
    e->SetParentFont(false);
    e->SetFont(big);
    e->SetVisible(false);
    ed_Value[static_cast<std::size_t>(i)] = e;
    auto* l = Make<ui::TLabel>(this, gb_Dev[0], ("l_Value" + std::to_string(i)).c_str(), 0, 0, kLabelWidth, 16);
    l->SetVisible(false);
    l_Value[static_cast<std::size_t>(i)] = l;
  }
}

void TMainForm::BuildDBManagerPage() {
  ts_DBManager = new ui::TTabSheet(this);
  ts_DBManager->SetName("ts_DBManager");
  ts_DBManager->SetPageControl(PageControl1);
  ts_DBManager->SetCaption("Správa databáze");

  gb_Backup = Make<ui::TGroupBox>(this, ts_DBManager, "gb_Backup", 8, 8, 560, 420, "Zálohování databáze");
  gb_BackupFileName = Make<ui::TGroupBox>(this, gb_Backup, "gb_BackupFileName", 10, 22, 540, 56,
                                          "Cesta a název zálohovacího souboru");
  ed_BackupFileName = Make<ui::TEdit>(this, gb_BackupFileName, "ed_BackupFileName", 10, 22, 430, 24);
  bt_BackupBrowse = Make<ui::TButton>(this, gb_BackupFileName, "bt_BackupBrowse", 450, 21, 80, 26, "Najít");
  bt_BackupBrowse->OnClick = [this](ui::TComponent* s) { bt_BackupBrowseClick(s); };
  gb_BackupList = Make<ui::TGroupBox>(this, gb_Backup, "gb_BackupList", 10, 86, 330, 280, "Body odnovy databáze");
  lb_BackupList = Make<ui::TListBox>(this, gb_BackupList, "lb_BackupList", 10, 22, 310, 248);
  lb_BackupList->OnClick = [this](ui::TComponent*) {
    btn_Restore->SetEnabled(dbman_ && lb_BackupList->ItemIndex() >= 0);
  };
  rg_BackupInterval = Make<ui::TRadioGroup>(this, gb_Backup, "rg_BackupInterval", 350, 86, 200, 200,
                                            "Automatické zálohování");
  for (const char* item : {"Vypnuto", "1 den", "5 dnů", "7 dnů", "30 dnů", "Zadat"}) rg_BackupInterval->Items().Add(item);
  rg_BackupInterval->OnClick = [this](ui::TComponent* s) { rg_BackupIntervalClick(s); };
  se_BackupInterval = Make<ui::TSpinEdit>(this, gb_Backup, "se_BackupInterval", 440, 292, 110, 24);
  se_BackupInterval->SetMinValue(1);
  se_BackupInterval->SetMaxValue(3650);
  btn_Backup = Make<ui::TButton>(this, gb_Backup, "btn_Backup", 10, 378, 130, 28, "Provést zálohu");
  btn_Restore = Make<ui::TButton>(this, gb_Backup, "btn_Restore", 150, 378, 130, 28, "Obnovit ze zálohy");
  bt_BackupSet = Make<ui::TButton>(this, gb_Backup, "bt_BackupSet", 290, 378, 125, 28, "Potvrdit nastavení");
  bt_BackupSet->OnClick = [this](ui::TComponent* s) { bt_BackupSetClick(s); };
  bt_BackupCancel = Make<ui::TButton>(this, gb_Backup, "bt_BackupCancel", 425, 378, 125, 28, "Zrušit nastavení");
  bt_BackupCancel->OnClick = [this](ui::TComponent* s) { bt_BackupCancelClick(s); };
  // Both need the database manager, which exists once the database is open.
  btn_Backup->SetEnabled(false);
  btn_Restore->SetEnabled(false);
  btn_Backup->OnClick = [this](ui::TComponent* s) { btn_BackupClick(s); };
  btn_Restore->OnClick = [this](ui::TComponent* s) { btn_RestoreClick(s); };

  gb_OnLineExport = Make<ui::TGroupBox>(this, ts_DBManager, "gb_OnLineExport", 580, 8, 320, 190,
                                        "Export databázových hodnot");
  gb_OnLineExportDateTimes = Make<ui::TGroupBox>(this, gb_OnLineExport, "gb_OnLineExportDateTimes", 10, 22, 300, 120,
                                                 "Časové značky exportu dat");
  l_OnLineExportStartDateTime = Make<ui::TLabel>(this, gb_OnLineExportDateTimes, "l_OnLineExportStartDateTime", 10, 30,
                                                 120, 16, "Začátek exportu");
  me_ExportStart = Make<ui::TMaskEdit>(this, gb_OnLineExportDateTimes, "me_ExportStart", 135, 26, 150, 24);
  me_ExportStart->SetEditMask("!99/99/0000 !90:00:00;1;_");
  l_OnLineExportStopDateTime = Make<ui::TLabel>(this, gb_OnLineExportDateTimes, "l_OnLineExportStopDateTime", 10, 72,
                                                120, 16, "Konec exportu");
  me_ExportStop = Make<ui::TMaskEdit>(this, gb_OnLineExportDateTimes, "me_ExportStop", 135, 68, 150, 24);
  me_ExportStop->SetEditMask("!99/99/0000 !90:00:00;1;_");
  bt_Export = Make<ui::TButton>(this, gb_OnLineExport, "bt_Export", 10, 150, 100, 28, "Export");
  bt_Export->OnClick = [this](ui::TComponent* s) { bt_ExportClick(s); };
}

void TMainForm::BuildSettingsPage() {
  ts_Nastaveni = new ui::TTabSheet(this);
  ts_Nastaveni->SetName("ts_Nastaveni");
  ts_Nastaveni->SetPageControl(PageControl1);
  ts_Nastaveni->SetCaption("Nastavení");

  gb_CommSettings = Make<ui::TGroupBox>(this, ts_Nastaveni, "gb_CommSettings", 8, 8, 480, 140, "Nastavení komunikace");
  l_CommPort = Make<ui::TLabel>(this, gb_CommSettings, "l_CommPort", 10, 30, 150, 16, "Komunikační port");
  cb_CommPort = Make<ui::TComboBox>(this, gb_CommSettings, "cb_CommPort", 200, 26, 270, 24);
  cb_CommPort->SetStyle(ui::TComboBoxStyle::csDropDownList);
  // "COM7 (/dev/ttyUSB0)": the device each name stands for on this machine.
  for (int i = 1; i <= 40; ++i) cb_CommPort->Items().Add(comm::PortCaption("COM" + std::to_string(i), paths_.SettingsFile()));
  l_BaudRate = Make<ui::TLabel>(this, gb_CommSettings, "l_BaudRate", 10, 66, 150, 16, "Přenosová rychlost");
  cb_BaudRate = Make<ui::TComboBox>(this, gb_CommSettings, "cb_BaudRate", 200, 62, 150, 24);
  cb_BaudRate->SetStyle(ui::TComboBoxStyle::csDropDownList);
  for (int b : kBaudRates) cb_BaudRate->Items().Add(std::to_string(b));
  l_CommAddr = Make<ui::TLabel>(this, gb_CommSettings, "l_CommAddr", 10, 102, 150, 16, "Adresa dataloggeru");
  se_CommAddr = Make<ui::TSpinEdit>(this, gb_CommSettings, "se_CommAddr", 200, 98, 150, 24);
  se_CommAddr->SetMinValue(1);
  se_CommAddr->SetMaxValue(255);

  gb_SetDBBackup = Make<ui::TGroupBox>(this, ts_Nastaveni, "gb_SetDBBackup", 8, 156, 480, 60, "Záloha databáze");
  chb_MoveDBBackupFiles = Make<ui::TCheckBox>(this, gb_SetDBBackup, "chb_MoveDBBackupFiles", 10, 26, 460, 22,
                                              "Při změně konfigurace ponechat zálohy databáze");
  gb_Lang = Make<ui::TGroupBox>(this, ts_Nastaveni, "gb_Lang", 8, 224, 480, 60, "Jazyk");
  cb_Lang = Make<ui::TComboBox>(this, gb_Lang, "cb_Lang", 10, 24, 340, 24);
  cb_Lang->SetStyle(ui::TComboBoxStyle::csDropDownList);

  bt_AcceptSettings = Make<ui::TButton>(this, ts_Nastaveni, "bt_AcceptSettings", 8, 296, 160, 28, "Potvrdit nastavení");
  bt_AcceptSettings->OnClick = [this](ui::TComponent* s) { bt_AcceptSettingsClick(s); };
  bt_DiscardSettings = Make<ui::TButton>(this, ts_Nastaveni, "bt_DiscardSettings", 178, 296, 160, 28, "Zrušit nastavení");
  bt_DiscardSettings->OnClick = [this](ui::TComponent* s) { bt_DiscardSettingsClick(s); };
}

// ------------------------------------------------------------------ language

void TMainForm::LoadMessages() {
  lang_.LoadMessages(LanguageFileFor(paths_.SettingsFile(), paths_.LangDir));
}

void TMainForm::ApplyLanguage(const std::string& langFile) {
  LoadMessages();
  TLanguage file;
  file.LoadFile(langFile);
  for (const auto& b : kCaptionBindings) {
    if (!*b.control) continue;
    const std::string text = file.Caption(b.section, b.key);
    // A key missing from the file keeps the built-in caption.
    if (text.empty()) continue;
    auto* c = FindComponent(b.control);
    if (!c) continue;
    if (b.item >= 0) {
      if (auto* rg = dynamic_cast<ui::TRadioGroup*>(c); rg && b.item < rg->Items().Count()) rg->Items().Set(b.item, text);
    } else if (auto* ctl = dynamic_cast<ui::TControl*>(c)) {
      ctl->SetCaption(text);
    }
  }
  graphCaption_ = file.Caption("ts_OnLineView", "btn_Graph");
  if (!graphCaption_.empty())
    for (auto* b : btn_Gr) b->SetCaption(graphCaption_);
  UpdateConfigPanels();
}

void TMainForm::ListLanguages() {
  cb_Lang->Items().Clear();
  for (const auto& n : kv90::app::ListLanguages(paths_.LangDir)) cb_Lang->Items().Add(n);
  int i = cb_Lang->Items().IndexOf(settings_.Lang);
  cb_Lang->SetItemIndex(i);
}

// ------------------------------------------------------------------ values panel

void TMainForm::LayoutValues() {
  if (!acq_ || !p_Values) return;
  const int devices = acq_->ShownDevices();
  if (selected_ >= devices || firstShown_ >= std::max(devices, 1)) {
    if (selected_ >= devices) selected_ = 0;
    if (firstShown_ >= devices) firstShown_ = 0;
  }
  const int panelW = p_Values->ClientWidth();
  const int panelH = p_Values->ClientHeight();
  const int rows = std::max(1, (panelH - 10 - kBoxTop - kBoxBottom) / kRow);
  const LoggerConfig& cfg = acq_->Config();

  for (auto* e : ed_Value) e->SetVisible(false);
  for (auto* l : l_Value) l->SetVisible(false);
  for (auto* b : gb_Dev) b->SetVisible(false);

  int field = 0;
  for (int d = 0; d < firstShown_ && d < devices; ++d) field += ChannelCount(cfg.Devices[static_cast<std::size_t>(d)]);
  int x = 30;
  bool overflow = false;
  for (int d = firstShown_; d < devices; ++d) {
    const int ch = ChannelCount(cfg.Devices[static_cast<std::size_t>(d)]);
    const int cols = std::max(1, (ch + rows - 1) / rows);
    const int usedRows = std::min(rows, std::max(ch, 1));
    const int w = std::max(100, 10 + cols * kColumnWidth);
    const int h = kBoxTop + usedRows * kRow + kBoxBottom;
    auto* box = gb_Dev[static_cast<std::size_t>(d)];
    if (x + w > panelW - 30) {
      overflow = true;
      break;
    }
    box->SetBounds(x, 5, w, h);
    l_DevCaption[static_cast<std::size_t>(d)]->SetBounds(6, 3, w - 12, 16);
    l_DevCaption[static_cast<std::size_t>(d)]->SetCaption(acq_->DeviceCaption(d));
    box->SetColor(d == selected_ ? kSelectedBox : kOtherBox);
    for (int c = 0; c < ch && field < kValueFields; ++c, ++field) {
      const int col = c / rows, row = c % rows;
      auto* l = l_Value[static_cast<std::size_t>(field)];
      auto* e = ed_Value[static_cast<std::size_t>(field)];
      l->SetParent(box);
      e->SetParent(box);
      l->SetBounds(6 + col * kColumnWidth, kBoxTop + row * kRow + 8, kLabelWidth, 16);
      l->SetTransparent(true);
      l->SetCaption(acq_->ChannelName(d, c));
      e->SetBounds(6 + col * kColumnWidth + kLabelWidth, kBoxTop + row * kRow, kFieldWidth, kFieldHeight);
      l->SetVisible(true);
      e->SetVisible(true);
    }
    auto* b = btn_Gr[static_cast<std::size_t>(d)];
    b->SetBounds(6, h - kBoxBottom + 4, 70, 22);
    box->SetVisible(true);
    x += w + 4;
  }
  bbtn_ValuesLeft->SetVisible(firstShown_ != 0);
  bbtn_ValuesRight->SetBounds(panelW - 26, 5, 22, 60);
  bbtn_ValuesRight->SetVisible(overflow);
  ShowValues();
}

void TMainForm::ShowValues() {
  if (!acq_) return;
  const auto& texts = acq_->FieldTexts();
  for (int i = 0; i < kValueFields; ++i) {
    auto* e = ed_Value[static_cast<std::size_t>(i)];
    const std::string& t = texts[static_cast<std::size_t>(i)];
    if (e->GetText() != t) e->SetText(t);
  }
}

void TMainForm::p_ValuesResize(ui::TComponent*) { LayoutValues(); }

void TMainForm::bbtn_ValuesLeftClick(ui::TComponent*) {
  if (firstShown_ > 0) --firstShown_;
  SaveViewSettings();
  LayoutValues();
}

void TMainForm::bbtn_ValuesRightClick(ui::TComponent*) {
  if (acq_ && firstShown_ + 1 < acq_->ShownDevices()) ++firstShown_;
  SaveViewSettings();
  LayoutValues();
}

void TMainForm::btn_GrClick(ui::TComponent* Sender) {
  selected_ = Sender ? Sender->Tag() : 0;
  LayoutValues();
}

// ------------------------------------------------------------------ status bar

void TMainForm::UpdateConfigPanels() {
  if (!acq_ || !sb_Status) return;
  for (int i = 1; i <= 4; ++i) sb_Status->SetPanelText(i, acq_->StatusPanel(i));
  pb_Gauge->SetMax(std::max(1, acq_->GaugeMax()));
}

void TMainForm::UpdateGauge() {
  pb_Gauge->SetMax(std::max(1, acq_->GaugeMax()));
  pb_Gauge->SetPosition(std::min(acq_->GaugePos(), pb_Gauge->Max()));
  pb_Gauge->SetVisible(acq_->GaugeVisible());
  sb_StatusResize(sb_Status);
}

void TMainForm::sb_StatusResize(ui::TComponent*) {
  if (!sb_Status || sb_Status->PanelCount() < 6) return;
  const ui::TRect r = sb_Status->PanelRect(5);
  pb_Gauge->SetBounds(r.Left + 1, r.Top + 2, std::max(10, r.Width() - 2), std::max(6, r.Height() - 4));
}

void TMainForm::FormResize(ui::TComponent*) {
  if (!sb_Status) return;
  const int w = ClientWidth();
  const int pct[6] = {50, 10, 5, 5, 10, 20};
  for (int i = 0; i < 6; ++i) sb_Status->SetPanelWidth(i, w * pct[i] / 100);
  if (Splitter1 && !Splitter1->Visible() && ts_OnLineView)
    p_Values->SetHeight(std::max(120, ts_OnLineView->ClientHeight() * 45 / 100));
  sb_StatusResize(sb_Status);
  SaveViewSettings();
  LayoutValues();
}

void TMainForm::SaveViewSettings() {
  if (!p_Values) return;
  TMonitorSettings s = settings_;
  const auto ws = WindowState();
  s.View.WindowState = ws == ui::TWindowState::wsMinimized ? 1 : ws == ui::TWindowState::wsMaximized ? 2 : 0;
  s.View.ValuesPanelHeight = p_Values->Height();
  s.View.ValuesPanelPos = firstShown_;
  s.View.ShowSplitter = Splitter1 && Splitter1->Visible();
  if (s.View.WindowState == settings_.View.WindowState && s.View.ValuesPanelHeight == settings_.View.ValuesPanelHeight &&
      s.View.ValuesPanelPos == settings_.View.ValuesPanelPos && s.View.ShowSplitter == settings_.View.ShowSplitter)
    return;
  settings_.View = s.View;
  s.SaveView(paths_.SettingsFile());
}

// ------------------------------------------------------------------ settings page

void TMainForm::bt_DiscardSettingsClick(ui::TComponent*) {
  settings_ = TMonitorSettings::Load(paths_.SettingsFile());
  std::string port = "COM1";
  int baud = 9600;
  if (acq_ && acq_->Started()) {
    port = comm::BarePortName(acq_->Engine().CommOptions().CommPort);
    baud = acq_->Engine().CommOptions().BaudRate;
  } else {
    base::TMemIniFile ini(paths_.SettingsFile());
    port = comm::BarePortName(comm::NormalisePortName(ini.ReadString("SerialComm", "CommPort", "COM1")));
    baud = static_cast<int>(ini.ReadInteger("SerialComm", "BaudRate", 9600));
  }
  // Captions follow PortMap, which the user may have edited meanwhile.
  for (int i = 0; i < cb_CommPort->Items().Count(); ++i)
    cb_CommPort->Items().Set(i, comm::PortCaption("COM" + std::to_string(i + 1), paths_.SettingsFile()));
  int portIndex = -1;
  if (base::StartsText("COM", port)) {
    auto n = base::ParseInt(port.substr(3));
    if (n && *n >= 1 && *n <= 40) portIndex = static_cast<int>(*n - 1);
  }
  cb_CommPort->SetItemIndex(portIndex);
  cb_BaudRate->SetItemIndex(cb_BaudRate->Items().IndexOf(std::to_string(baud)));
  se_CommAddr->SetValue(settings_.LoggerAddress);
  chb_MoveDBBackupFiles->SetChecked(settings_.MoveBackupFiles);
  ListLanguages();
}

void TMainForm::bt_AcceptSettingsClick(ui::TComponent*) {
  TMonitorSettings s = TMonitorSettings::Load(paths_.SettingsFile());
  s.MoveBackupFiles = chb_MoveDBBackupFiles->Checked();
  s.LoggerAddress = std::clamp(se_CommAddr->Value(), 1, 255);
  if (cb_Lang->ItemIndex() >= 0) s.Lang = cb_Lang->Items()[cb_Lang->ItemIndex()];
  if (!s.SaveAcquisition(paths_.SettingsFile())) status_->Show(paths_.SettingsFile(), 4000);
  settings_.MoveBackupFiles = s.MoveBackupFiles;
  settings_.LoggerAddress = s.LoggerAddress;
  settings_.Lang = s.Lang;
  const std::string port = cb_CommPort->ItemIndex() >= 0 ? "COM" + std::to_string(cb_CommPort->ItemIndex() + 1)
                                                         : comm::BarePortName(acq_->Engine().CommOptions().CommPort);
  const int baud = cb_BaudRate->ItemIndex() >= 0
                       ? static_cast<int>(base::StrToIntDef(cb_BaudRate->Items()[cb_BaudRate->ItemIndex()], 9600))
                       : 9600;
  acq_->ApplyLinkSettings(port, baud, s.LoggerAddress, s.MoveBackupFiles);
  ApplyLanguage(base::JoinPath(paths_.LangDir, s.Lang));
}

// ------------------------------------------------------------------ pages

void TMainForm::PageControl1Changing(ui::TComponent*, bool& AllowChange) {
  if (exportRunning_) AllowChange = false;
}

void TMainForm::PageControl1Change(ui::TComponent*) {
  auto* page = PageControl1->ActivePage();
  if (page == ts_Nastaveni) bt_DiscardSettingsClick(this);
  else if (page == ts_DBManager) ShowBackupSettings();
  else if (page == ts_OnLineView) LayoutValues();
}

// ------------------------------------------------------------------ database page

void TMainForm::ShowBackupSettings() {
  if (!dbman_) return;
  dbman_->LoadBackupSettings();
  ed_BackupFileName->SetText(dbman_->BackupFileName());
  const int v = dbman_->BackupInterval();
  int item = 5;
  for (int i = 0; i < 5; ++i)
    if (kIntervalDays[i] == v) item = i;
  rg_BackupInterval->SetItemIndex(item);
  se_BackupInterval->SetValue(item == 5 ? std::clamp(v, 1, 3650) : 1);
  se_BackupInterval->SetEnabled(item == 5);
  FillRestorePoints();
}

void TMainForm::rg_BackupIntervalClick(ui::TComponent*) { se_BackupInterval->SetEnabled(rg_BackupInterval->ItemIndex() == 5); }

void TMainForm::bt_BackupSetClick(ui::TComponent*) {
  if (!dbman_) return;
  const int item = rg_BackupInterval->ItemIndex();
  const int days = item >= 0 && item < 5 ? kIntervalDays[item] : std::max(1, se_BackupInterval->Value());
  dbman_->SetBackupFileName(ed_BackupFileName->GetText());
  dbman_->SetBackupInterval(days);
  dbman_->SetBackupType(TDBManBackupType::Stamped);
  dbman_->SaveBackupSettings();
  ShowBackupSettings();
}

void TMainForm::bt_BackupCancelClick(ui::TComponent*) { ShowBackupSettings(); }

void TMainForm::bt_BackupBrowseClick(ui::TComponent*) {
  ui::TSaveDialog dlg(nullptr);
  dlg.Title = lang_.Text(Msg::InputBackupPathFileName);
  dlg.DefaultExt = "bak";
  dlg.Filter = lang_.Text(Msg::SaveBackupFilter);
  const std::string current = ed_BackupFileName->GetText();
  dlg.InitialDir = current.empty() ? paths_.ProgramDir : base::ExtractFileDir(current);
  dlg.FileName = current;
  if (dlg.Execute()) ed_BackupFileName->SetText(dlg.FileName);
}

void TMainForm::FillRestorePoints() {
  if (!lb_BackupList) return;
  lb_BackupList->Items().Clear();
  if (dbman_) {
    try {
      for (const auto& n : dbman_->FillRestorePoints()) lb_BackupList->Items().Add(n);
    } catch (const std::exception& e) {
      status_->ShowAndLog(e.what(), -1);
    }
  }
  btn_Restore->SetEnabled(false);
}

void TMainForm::btn_BackupClick(ui::TComponent* Sender) {
  if (!dbman_ || dbman_->DataBazeWait()) return;
  status_->ShowAndLog(lang_.Text(Msg::DBBackuping), -1);
  try {
    dbman_->Backup(Sender);
  } catch (const std::exception& e) {
    status_->ShowAndLog(e.what(), -1);
  }
}

void TMainForm::btn_RestoreClick(ui::TComponent*) {
  const int i = lb_BackupList->ItemIndex();
  if (!dbman_ || dbman_->DataBazeWait() || i < 0) return;
  const std::string point = lb_BackupList->Items()[i];
  acq_->CloseDatabase();
  status_->ShowAndLog(lang_.Text(Msg::DBRestore), -1);
  int channels = 0;
  try {
    dbman_->Restore(point, channels);
  } catch (const std::exception& e) {
    status_->ShowAndLog(e.what(), -1);
  }
  acq_->AfterRestore();
}

void TMainForm::bt_ExportClick(ui::TComponent*) {
  auto blank = [](const std::string& t) {
    for (char c : t)
      if (std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
  };
  if (blank(me_ExportStart->GetText())) { status_->ShowAndLog(lang_.Text(Msg::EnterStartDateTimeOfExport), 4000); return; }
  if (blank(me_ExportStop->GetText())) { status_->ShowAndLog(lang_.Text(Msg::EnterStopDateTimeOfExport), 4000); return; }
  // The CSV writer belongs to the history view, which is not part of this build.
}

// ------------------------------------------------------------------ close

void TMainForm::FormClose(ui::TComponent*, ui::TCloseAction&) {
  if (closing_) return;
  closing_ = true;
  SaveViewSettings();
  if (acq_) acq_->Stop();
  acq_.reset();
  if (status_) status_->Log(lang_.Text(Msg::AppWasClose));
}

}  // namespace kv90::app
