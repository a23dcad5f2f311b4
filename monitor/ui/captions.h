// Which language-file key captions which control of the main window.
//
// One table for the whole window: ApplyLanguage walks it, and the language
// file test checks that every shipped file has every key listed here.
// `control` is the component name on the main form; an empty control means
// the key belongs to a part that takes its texts itself (graph dialog,
// history page), and `item` >= 0 names an item of a radio group.
#pragma once

#include <array>

namespace kv90::app {

struct CaptionBinding {
  const char* section;
  const char* key;
  const char* control;
  int item = -1;
};

inline constexpr CaptionBinding kCaptionBindings[] = {
    {"ts_OnLineView", "Caption", "ts_OnLineView"},
    {"ts_OnLineView", "btn_RdDtalogger", "btn_ExportData"},
    {"ts_OnLineView", "btn_Graph", ""},  // the 16 "btn_Gr<k>" buttons, set in code

    {"ts_DBManager", "Caption", "ts_DBManager"},
    {"ts_DBManager", "gb_Backup", "gb_Backup"},
    {"ts_DBManager", "gb_BackupFileName", "gb_BackupFileName"},
    {"ts_DBManager", "bt_BackupBrowse", "bt_BackupBrowse"},
    {"ts_DBManager", "gb_BackupList", "gb_BackupList"},
    {"ts_DBManager", "rg_BackupInterval", "rg_BackupInterval"},
    {"ts_DBManager", "rg_I1", "rg_BackupInterval", 0},
    {"ts_DBManager", "rg_I2", "rg_BackupInterval", 1},
    {"ts_DBManager", "rg_I3", "rg_BackupInterval", 2},
    {"ts_DBManager", "rg_I4", "rg_BackupInterval", 3},
    {"ts_DBManager", "rg_I5", "rg_BackupInterval", 4},
    {"ts_DBManager", "rg_I6", "rg_BackupInterval", 5},
    {"ts_DBManager", "btn_Backup", "btn_Backup"},
    {"ts_DBManager", "btn_Restore", "btn_Restore"},
    {"ts_DBManager", "bt_BackupSet", "bt_BackupSet"},
    {"ts_DBManager", "bt_BackupCancel", "bt_BackupCancel"},
    {"ts_DBManager", "gb_OnLineExport", "gb_OnLineExport"},
    {"ts_DBManager", "gb_OnLineExportDateTimes", "gb_OnLineExportDateTimes"},
    {"ts_DBManager", "l_OnLineExportStartDateTime", "l_OnLineExportStartDateTime"},
    {"ts_DBManager", "l_OnLineExportStopDateTime", "l_OnLineExportStopDateTime"},
    {"ts_DBManager", "bt_OnLineExport", "bt_Export"},

    {"ts_Settings", "Caption", "ts_Nastaveni"},
    {"ts_Settings", "gb_CommSettings", "gb_CommSettings"},
    {"ts_Settings", "l_CommPort", "l_CommPort"},
    {"ts_Settings", "l_BaudRate", "l_BaudRate"},
    {"ts_Settings", "l_CommAddr", "l_CommAddr"},
    {"ts_Settings", "gb_SetDBBackup", "gb_SetDBBackup"},
    {"ts_Settings", "chb_MoveDBBackupFiles", "chb_MoveDBBackupFiles"},
    {"ts_Settings", "gb_Lang", "gb_Lang"},
    {"ts_Settings", "bt_AcceptSettings", "bt_AcceptSettings"},
    {"ts_Settings", "bt_DiscardSettings", "bt_DiscardSettings"},

    // Texts of the graph settings dialog and the on-line graph's table.
    {"Graph", "GS_Form_Caption", ""}, {"Graph", "GS_TabbedNot_Str_TimeAx", ""}, {"Graph", "GS_TabbedNot_Str_YAx", ""},
    {"Graph", "GS_TabbedNot_Str_Sets", ""}, {"Graph", "GS_TabbedNot_Str_Prin", ""}, {"Graph", "GS_Graph_Descript", ""},
    {"Graph", "GS_XAxis_View", ""}, {"Graph", "GS_XAxis_View_Time", ""}, {"Graph", "GS_XAxis_View_Date", ""},
    {"Graph", "GS_Grid_Step_Number", ""}, {"Graph", "GS_Time_Axis_Length", ""}, {"Graph", "GS_Day_Label", ""},
    {"Graph", "GS_Hour_Label", ""}, {"Graph", "GS_Min_Label", ""}, {"Graph", "GS_Sec_Label", ""},
    {"Graph", "GS_AxisY_View_CheckBox", ""}, {"Graph", "GS_AxisY_Name", ""}, {"Graph", "GS_AxisY_Unit", ""},
    {"Graph", "GS_AxY_From", ""}, {"Graph", "GS_AxY_To", ""}, {"Graph", "GS_AxY_MainStep", ""},
    {"Graph", "GS_Serie_View", ""}, {"Graph", "GS_Serie_Name", ""}, {"Graph", "GS_Serie_AxY", ""},
    {"Graph", "GS_Serie_Color", ""}, {"Graph", "GS_Serie_LineWidth", ""}, {"Graph", "GS_PrinterSetting", ""},
    {"Graph", "GS_PageView", ""}, {"Graph", "GS_Default", ""}, {"Graph", "GS_OK", ""}, {"Graph", "GS_Cancel", ""},
    {"Graph", "Table_Date", ""}, {"Graph", "Table_Time", ""},

    // Texts of the history page.
    {"ts_OffLineView", "Caption", ""}, {"ts_OffLineView", "gb_OffLineDBList", ""}, {"ts_OffLineView", "lv_Name", ""},
    {"ts_OffLineView", "lv_StartDateTime", ""}, {"ts_OffLineView", "lv_StopDateTime", ""},
    {"ts_OffLineView", "lv_DevCnt", ""}, {"ts_OffLineView", "lv_RecCnt", ""}, {"ts_OffLineView", "gb_OffLineImport", ""},
    {"ts_OffLineView", "btn_OffLineImportFromDatalogger", ""}, {"ts_OffLineView", "btn_OffLineImportFromCSV", ""},
    {"ts_OffLineView", "gb_OffLineGraphCtrl", ""}, {"ts_OffLineView", "gb_OffLineExport", ""},
    {"ts_OffLineView", "bt_OffLineExport", ""}, {"ts_OffLineView", "chb_GraphSettings", ""},
};

}  // namespace kv90::app
