#pragma once
#include <string>

// What the tool server's description file (vmtool.ini) says, kept for the
// whole run: the published digests of the program and of the resource-browse
// plug-in, and whether an update of the program is mandatory.
struct ToolInfo {
  bool fetched = false;        // the file arrived in this run
  std::string programDigest;   // [VelmoraURL] hashcode; empty: none published
  int forceUpdate = 0;         // [VelmoraURL] forceupdate; not 0: mandatory
  std::string browserDigest;   // [VmBrowser] hashcode; empty: unknown
};
