#pragma once
#include "tools/ToolContext.h"

// The resource-browse plug-in: VmBrowser.dll (with cximagecrt.dll), loaded
// into the assistant's own process.

// The plug-in in T matches the published digest and cximagecrt.dll is in W.
bool IsBrowsePluginInstalled(const ToolContext& context);
// Fetches VmBrowser.dll afresh and cximagecrt.dll when missing into T and
// copies both into W; false when a fetch fails or the plug-in does not match
// the published digest.
bool FetchBrowsePlugin(const ToolContext& context);
// Loads T\VmBrowser.dll, once the signature kept beside it holds and it
// matches the published digest, and calls its DoBrowser; reports what keeps
// it from running.
void RunBrowsePlugin(const ToolContext& context);

void OpenBrowsePlugin(const ToolContext& context);     // 1157
void InstallBrowsePlugin(const ToolContext& context);  // 1147
