#include "cdn/FileId.h"

namespace {

bool IsFidByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

}  // namespace

bool IsSafeFileId(const std::string& fid) {
  if (fid.empty() || fid.size() > CDN_MAX_FID_LENGTH || fid[0] == '.') return false;
  if (fid.find("..") != std::string::npos) return false;
  for (unsigned char c : fid) {
    if (!IsFidByte(c)) return false;
  }
  return true;
}
