// Resource and control ids of the dialogs.
#pragma once

constexpr int IDD_MAIN = 102;
constexpr int IDD_PREVIEW = 103;
constexpr int IDI_MAIN = 128;

constexpr int IDC_STATIC = -1;
constexpr int IDC_FILE_LIST = 1000;
constexpr int IDC_MAKE_AVI = 1001;
constexpr int IDC_ROWS = 1002;
constexpr int IDC_COLS = 1003;
constexpr int IDC_FPS = 1004;
constexpr int IDC_CLEAR_SEL = 1005;
constexpr int IDC_VIEW_AVI = 1006;
constexpr int IDC_DISPLAY = 1007;
constexpr int IDC_PLAY_PAUSE = 1009;
constexpr int IDC_DIRECTION = 1010;
constexpr int IDC_POSITION = 1011;
constexpr int IDC_STEP = 1012;
constexpr int IDC_CLOSE_VIEW = 1013;
constexpr int IDC_CLIP = 1014;
constexpr int IDC_WRITE_FILES = 1015;
constexpr int IDC_FIT = 1016;
