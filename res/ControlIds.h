#pragma once

// Control, template and command identifiers of the main dialog and the About box. Tests, tools
// and screen readers find each widget by its identifier (the widget's object name is the number).
namespace vexlo::res {

inline constexpr int kIdOk = 1;      // "Exit": the dialog's OK command
inline constexpr int kIdCancel = 2;  // title-bar close, Escape, menu "E&xit"

inline constexpr int kDialogMain = 1022;
inline constexpr int kDialogAbout = 501;
inline constexpr int kDialogQueue = 1200;
inline constexpr int kMenuMain = 1024;
inline constexpr int kIconMain = 1023;
inline constexpr int kBitmapAbout = 506;

inline constexpr int kCmdAppAbout = 0xE140;         // "&Help" / "&About ..."
inline constexpr int kCmdAppExit = 0xE141;          // "&File" / "E&xit"
inline constexpr int kCmdCopyLastCommand = 0x8001;  // "&File" / "&Copy Last Command"
inline constexpr int kCmdCheckEncoders = 0x8002;    // "&Help" / "&Check Encoders"
inline constexpr int kCmdShowFrames = 0x8004;       // "&File" / "Show &Frames..."
inline constexpr int kCmdQueue = 0x8003;            // "&File" / "&Queue..."
inline constexpr int kCmdMeasureQuality = 0x8005;   // "&File" / "&Measure Quality"
inline constexpr int kCmdEstimate = 0x8006;         // "&File" / "&Estimate"
inline constexpr int kCmdTargetSsim = 0x8007;       // "&File" / "&Target SSIM 0.97"
inline constexpr int kCmdTargetSsimLow = 0x8008;    // "&File" / "Target SSIM 0.9&5"
inline constexpr int kCmdTargetSsimHigh = 0x8009;   // "&File" / "Target SSIM 0.9&9"

namespace id {
inline constexpr int kProgress = 1000;
inline constexpr int kAboutLine = 1001;
inline constexpr int kSourceEdit = 1002;
inline constexpr int kVideoDestEdit = 1003;
inline constexpr int kProfileList = 1006;
inline constexpr int kCrfList = 1007;
inline constexpr int kReportCheck = 1008;
inline constexpr int kLogPane = 1009;
inline constexpr int kBrowseSource = 1010;
inline constexpr int kBrowseVideo = 1011;
inline constexpr int kEncodeVideo = 1012;
inline constexpr int kLogLabel = 1013;
inline constexpr int kProfileLabel = 1014;
inline constexpr int kTestEncode = 1015;
inline constexpr int kCrfLabel = 1016;
inline constexpr int kDefault = 1017;
inline constexpr int kDeriveVid = 1018;
inline constexpr int kDeriveH264 = 1019;
inline constexpr int kRequestStop = 1020;
inline constexpr int kCancel = 1021;
inline constexpr int kGoSource = 1022;
inline constexpr int kGoVideo = 1023;
inline constexpr int kIndex = 1024;
inline constexpr int kGpuList = 1025;
inline constexpr int kDeriveAud = 1026;
inline constexpr int kDeriveWav = 1027;
inline constexpr int kDeinterlaceCheck = 1028;
inline constexpr int kNvidiaCheck = 1029;
inline constexpr int kFrame = 1030;
inline constexpr int kResizeList = 1031;
inline constexpr int kResizeLabel = 1032;
inline constexpr int kInfoSource = 1033;
inline constexpr int kInfoVideo = 1034;
inline constexpr int kAudioDestEdit = 1035;
inline constexpr int kGoAudio = 1036;
inline constexpr int kBrowseAudio = 1037;
inline constexpr int kEncodeAudio = 1038;
inline constexpr int kInfoAudio = 1039;
inline constexpr int kFrameTimeEdit = 1040;
inline constexpr int kRadioH264 = 1041;
inline constexpr int kRadioH265 = 1042;
inline constexpr int kDeriveH265 = 1043;
inline constexpr int kGpuLabel = 1044;
inline constexpr int kFpsList = 1045;
inline constexpr int kFpsLabel = 1046;
inline constexpr int kGopSource = 1047;
inline constexpr int kGopVideo = 1048;
inline constexpr int kRadioMpv = 1049;
inline constexpr int kShortGopCheck = 1050;
inline constexpr int kDeriveMpv = 1051;
inline constexpr int kProgressDetail = 1052;  // elapsed, time left, speed, size below the bar

// The queue window (1200); its bar, the whole queue's, is kProgress.
inline constexpr int kQueueTable = 1201;
inline constexpr int kQueueTimeLeft = 1203;
inline constexpr int kQueueAddFiles = 1204;
inline constexpr int kQueueAddFolder = 1205;
inline constexpr int kQueueRemove = 1206;
inline constexpr int kQueueMoveUp = 1207;
inline constexpr int kQueueMoveDown = 1208;
inline constexpr int kQueueRetryFailed = 1209;
inline constexpr int kQueueClearFinished = 1210;
inline constexpr int kQueueStart = 1211;
inline constexpr int kQueueStartNoNewItem = 1212;
inline constexpr int kQueueCancelItem = 1213;
inline constexpr int kQueueFolderLabel = 1214;
inline constexpr int kQueueFolderEdit = 1215;
inline constexpr int kQueueChooseFolder = 1216;
inline constexpr int kQueueBesideSources = 1217;
inline constexpr int kQueueExistingLabel = 1218;
inline constexpr int kQueueSkipExisting = 1219;
inline constexpr int kQueueOverwriteExisting = 1220;
inline constexpr int kQueueStatus = 1221;
inline constexpr int kQueueItemLog = 1222;
inline constexpr int kQueueAtOnceLabel = 1223;
inline constexpr int kQueueAtOnce = 1224;
inline constexpr int kQueueLowPriority = 1225;
inline constexpr int kQueueTargetLabel = 1226;
inline constexpr int kQueueTarget = 1227;
}  // namespace id

}  // namespace vexlo::res
