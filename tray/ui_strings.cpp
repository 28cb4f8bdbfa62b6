#include "ui_strings.h"

#include "gt_version.h"

// The Chinese texts are GBK (code page 936) bytes; each line carries the
// text it encodes. A literal is split where a hex digit follows an escape.

static const char en_hide_tray[] = "Hide tray";
static const char en_exit[] = "Exit";

static const char en_about_text[] =
    GT_PRODUCT_NAME " 2.5\n\n"
    "Copyright (C) 2012-2026 ZRV. All rights reserved.\n\n\n"
    "Warning: this program is protected by copyright law. Unauthorized "
    "reproduction or distribution of this program, or any part of it, may "
    "result in severe civil and criminal penalties.\n\n\n"
    "ZRV Ondrix Is Running.";

static const char cn_about_text[] =
    GT_PRODUCT_NAME " 2.5\n\n"
    // 版权所有：
    "\xB0\xE6\xC8\xA8\xCB\xF9\xD3\xD0\xA3\xBA"
    "Copyright (C) 2012-2026 ZRV. All rights reserved.\n\n\n"
    // 警告：本程序受版权法保护，未经授权擅自复制或传播本程序的全部或部分，将受到严厉的民事及刑事制裁。
    "\xBE\xAF\xB8\xE6\xA3\xBA\xB1\xBE\xB3\xCC\xD0\xF2\xCA\xDC\xB0\xE6\xC8\xA8\xB7\xA8\xB1\xA3\xBB\xA4"
    "\xA3\xAC\xCE\xB4\xBE\xAD\xCA\xDA\xC8\xA8\xC9\xC3\xD7\xD4\xB8\xB4\xD6\xC6\xBB\xF2\xB4\xAB\xB2\xA5"
    "\xB1\xBE\xB3\xCC\xD0\xF2\xB5\xC4\xC8\xAB\xB2\xBF\xBB\xF2\xB2\xBF\xB7\xD6\xA3\xAC\xBD\xAB\xCA\xDC"
    "\xB5\xBD\xD1\xCF\xC0\xF7\xB5\xC4\xC3\xF1\xCA\xC2\xBC\xB0\xD0\xCC\xCA\xC2\xD6\xC6\xB2\xC3\xA1\xA3"
    "\n\n\n"
    // ZRV Ondrix 正在运行。
    "ZRV Ondrix \xD5\xFD\xD4\xDA\xD4\xCB\xD0\xD0\xA1\xA3";

const char* const g_english_strings[UI_ENTRY_COUNT] = {
    en_hide_tray,
    "About",
    en_exit,
    "ZRV ONDRIX upgrade over.",
    "ZRV ONDRIX is upgrading, don't shutdown or restart your computer.",
    "ZRV ONDRIX is upgraded successfully, Restart your computer please.",
    "automatic upgrade",
    "close upgrade",
    "About ZRV Tools",
    en_about_text,
};

const char* const g_chinese_strings[UI_ENTRY_COUNT] = {
    en_hide_tray,
    "\xB9\xD8\xD3\xDA",  // 关于
    en_exit,
    "ZRV ONDRIX\xB8\xFC\xD0\xC2\xCD\xEA\xB3\xC9\xA1\xA3",  // ZRV ONDRIX更新完成。
    // ZRV ONDRIX正在更新，请不要关闭或重启计算机。
    "ZRV ONDRIX\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2\xA3\xAC\xC7\xEB\xB2\xBB\xD2\xAA\xB9\xD8\xB1\xD5\xBB\xF2"
    "\xD6\xD8\xC6\xF4\xBC\xC6\xCB\xE3\xBB\xFA\xA1\xA3",
    // ZRV ONDRIX更新完成，请重启计算机。
    "ZRV ONDRIX\xB8\xFC\xD0\xC2\xCD\xEA\xB3\xC9\xA3\xAC\xC7\xEB\xD6\xD8\xC6\xF4\xBC\xC6\xCB\xE3\xBB\xFA\xA1\xA3",
    "\xD7\xD4\xB6\xAF\xC9\xFD\xBC\xB6",  // 自动升级
    "\xB9\xD8\xB1\xD5\xC9\xFD\xBC\xB6",  // 关闭升级
    "\xB9\xD8\xD3\xDA ZRV Tools",         // 关于 ZRV Tools
    cn_about_text,
};

const ui_locale g_ui_locales[3] = {
    {"en-US", g_english_strings},
    {"cn-CN", g_chinese_strings},
    {nullptr, nullptr},
};

const char* const* choose_ui_strings(LCID system_locale)
{
    return system_locale == LCID_CHINESE_PRC ? g_ui_locales[1].table : g_ui_locales[0].table;
}

// 错误：无法打开有关的hKey
const char TEXT_KEY_OPEN_FAILED[] = "\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xD3\xD0\xB9\xD8\xB5\xC4hKey";
// 清除指定项失败！
const char TEXT_DELETE_FAILED[] = "\xC7\xE5\xB3\xFD\xD6\xB8\xB6\xA8\xCF\xEE\xCA\xA7\xB0\xDC\xA3\xA1";
// 系统参数错误,不能随系统启动
const char TEXT_SET_FAILED[] = "\xCF\xB5\xCD\xB3\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3,\xB2\xBB\xC4\xDC\xCB\xE6\xCF\xB5\xCD\xB3\xC6\xF4\xB6\xAF";
// 起线程失败!
const char TEXT_THREAD_FAILED[] = "\xC6\xF0\xCF\xDF\xB3\xCC\xCA\xA7\xB0\xDC!";
// CreateWindowEx 失败!
const char TEXT_CREATE_WINDOW_FAILED[] = "CreateWindowEx \xCA\xA7\xB0\xDC!";
// GetModuleFileName 失败!
const char TEXT_MODULE_NAME_FAILED[] = "GetModuleFileName \xCA\xA7\xB0\xDC!";
