#pragma once
#include "tools/ToolContext.h"

// The companion programs that the main window installs and starts: the video
// viewer, the micro-course tool and the document tools.

void InstallVideoViewer(const ToolContext& context);     // 1145
void DownloadViewerInBrowser(const ToolContext& context);  // 1164
void OpenToolsDirectory(const ToolContext& context);     // 1174
void OpenMicroCourse(const ToolContext& context);        // 1158
void InstallMicroCourse(const ToolContext& context);     // 1149
void OpenDocConverter(const ToolContext& context);       // 1155
void OpenDocReader(const ToolContext& context);          // 1156
void InstallDocTools(const ToolContext& context);        // 1146

// The viewer's installer through the download bar into T, run hidden and
// waited for; true when it was started and has ended.
bool FetchVideoViewer(const ToolContext& context);
// The micro-course tool through the download bar into T.
bool FetchCourseTool(const ToolContext& context);
