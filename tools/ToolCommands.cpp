#include "tools/ToolCommands.h"

// The companion tools join here.
bool RunToolCommand(CAssistantApp& app, int id) {
  (void)app, (void)id;
  return false;
}

void CheckForUpdateFromMenu(CAssistantApp& app) { (void)app; }
