// The main panel's menu bar: configuration, Quit, Help and About.
#pragma once

#include <string>

extern int MN_FILE, MN_FILE_LOAD, MN_FILE_SAVE, MN_FILE_SEPARATOR, MN_FILE_QUIT;
extern int MN_HELP, MN_HELP_HELP, MN_HELP_ABOUT;

int BuildMN(int panel);
void cbMen(int menuBar, int menuItem, void *callbackData, int panel);

// The About box's text.
std::string AboutText();
