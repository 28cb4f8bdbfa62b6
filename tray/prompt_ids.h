#pragma once
// The upgrade prompt's resource, control ids and texts. Only #defines: the
// resource script includes this file too.

#define IDD_UPGRADE_PROMPT 130
#define IDC_UPGRADE_TEXT 1004
#define IDC_UPGRADE_INSTALL 1005
#define IDC_UPGRADE_LATER 1006

// The caption stays English in every language.
#define PROMPT_CAPTION "ZRV Tools Upgrade"

// Template texts (replaced when the prompt opens).
#define PROMPT_TEMPLATE_INSTALL "Install"
#define PROMPT_TEMPLATE_LATER "Ask me later"
#define PROMPT_TEMPLATE_QUESTION \
    "ZRV Tools new version is available, would you like to install immediately?"

// Texts set when the prompt opens; the Chinese ones are GBK (code page 936).
#define PROMPT_INSTALL_EN "Install"
#define PROMPT_LATER_EN "Ask me later"
#define PROMPT_QUESTION_EN \
    "ZRV Tools new version is available, would you like to update immediately?"
#define PROMPT_INSTALL_ZH "\xc1\xa2\xbc\xb4\xc9\xfd\xbc\xb6"
#define PROMPT_LATER_ZH "\xcd\xc6\xb3\xd9\xcd\xa8\xd6\xaa"
#define PROMPT_QUESTION_ZH                                                  \
    "ZRV Tools\xd3\xd0\xd0\xc2\xb5\xc4\xb0\xe6\xb1\xbe\xbf\xc9\xd3\xc3\xa3" \
    "\xac\xca\xc7\xb7\xf1\xbd\xf8\xd0\xd0\xc9\xfd\xbc\xb6\xa3\xbf"
