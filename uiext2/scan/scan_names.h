// The names a scan run shares with the companion program: they are its contract and are
// written here exactly as they stand at run time.
#pragma once

namespace uiext2
{

// Guards the runs of one logon: no namespace prefix.
constexpr char kScanRunMutexName[] = "VELMORA_WIA_USB2";
constexpr char kCompanionPipeName[] = "\\\\.\\pipe\\VTWIAUSB2";

// Under HKEY_CURRENT_USER; its three values exist only while a run is active.
constexpr char kRunKey[] = "Software\\Velmora Tesk\\WIA_QAL2";
constexpr char kApplicationValue[] = "Application";
constexpr char kHelpPathValue[] = "HelpPath";
constexpr char kLanguageDllValue[] = "LanguageDll";

// In the driver package's folder (device/path_rules.h).
constexpr char kCompanionFileName[] = "callgui.exe";

// Pipe messages: 32-bit little-endian values written by the companion.
constexpr unsigned long kItemsReady = 2;
constexpr unsigned long kScanEnd = 1134;

} // namespace uiext2
