// The numbers naming the settings dialog and its controls, shared by life.rc and settings_win32.cpp.
#pragma once

#define LIFE_SETTINGS_DIALOG 100
#define LIFE_SETTINGS_POPULATION 101
#define LIFE_SETTINGS_MAX_IPS 102
#define LIFE_SETTINGS_SHOW_TEXT 103
