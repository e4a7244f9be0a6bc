#pragma once
#include <string>

// Longest file id the cache accepts; the platform's ids are far shorter.
constexpr size_t CDN_MAX_FID_LENGTH = 128;

// A file id arrives from any machine on the LAN and becomes both a file name
// in the cache and part of the platform URL. Only letters, digits, '-', '_'
// and '.' pass, without a leading '.', so no separator, parent reference,
// control byte or URL delimiter ('&', '?', '#', '%', blank) ever gets through.
bool IsSafeFileId(const std::string& fid);
