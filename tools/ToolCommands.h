#pragma once
#include "tools/DocToolsInstaller.h"
#include "tools/ToolContext.h"

// Main-window commands of the companion tools: the video viewer (1145,
// 1164), the tools directory (1174), the micro-course tool (1158, 1149), the
// document tools (1155, 1156, 1146), the resource-browse plug-in (1157,
// 1147) and the Office add-ins (1148). False when `id` is none of them.
bool RunToolCommand(const ToolContext& context, int id);

// Whether the document tools' installer is at work (the program waits for it
// before it ends).
bool IsToolInstallerRunning();
void WaitForToolInstaller();

// The update check of the menu: tells the user when the program is current.
void CheckForUpdateFromMenu(const ToolContext& context);

// The document tools' installer of the whole run.
CDocToolsInstaller& ProgramInstaller();
