// Makes the HTTPS tests' authority trusted in the prefix's machine "Root"
// store, or no longer, for the programs run after it (benchmark, journey):
//   trustca add|remove <ca.pem>
#include <cstdio>
#include <cstring>

#include "TestCa.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "add") != 0 && std::strcmp(argv[1], "remove") != 0)) {
    std::fprintf(stderr, "usage: trustca add|remove <ca.pem>\n");
    return 2;
  }
  CTestCa ca;
  if (std::strcmp(argv[1], "add") == 0) return ca.Install(argv[2]) ? 0 : 1;
  if (!ca.Load(argv[2])) return 1;
  ca.Remove();
  return 0;
}
