#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The sockets of the fuzz build: every connection succeeds and receives the
// scripted reply, in pieces whose sizes the script gives too.
namespace scripted {

// `pieces` gives the size of each receive in turn (cycled; 0 stands for 1).
void SetReply(const std::string& reply, const std::string& pieces);

}  // namespace scripted
