// The client's reception: every operation against a scripted reply. Input:
// one byte for the operation, one for the count of piece sizes, the piece
// sizes (in 64-byte units), then the reply bytes.
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "ScriptedSockets.h"
#include "net/WebClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int operation = data[0] % 6;
  const size_t pieces = std::min<size_t>(data[1], size - 2);
  const std::string script(reinterpret_cast<const char*>(data) + 2, pieces);
  const std::string reply(reinterpret_cast<const char*>(data) + 2 + pieces, size - 2 - pieces);
  scripted::SetReply(reply, script);
  const std::string url = "http://127.0.0.1:8112/dir/file.bin";
  CWebClient client;
  std::string text;
  CHttpResponseHeader header;
  switch (operation) {
    case 0: client.GetHeaders(url, header); break;
    case 1: client.Get(url, text); break;
    case 2: client.Post(url, "a=1&b=2", text); break;
    case 3: {
      const std::string path = WriteInput("whole.bin", data, size % 7);
      client.Download(url, path);  // resumed after the bytes already there
      break;
    }
    case 4: {
      const std::string path = WriteInput("part.bin", data, size % 5000);
      client.DownloadRange(url, path, size % 3 ? 1000 : 0, size % 2 ? 2999 : 0);
      break;
    }
    default: client.InetGet(url, text); break;
  }
  return 0;
}
