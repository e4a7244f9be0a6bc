#pragma once
#include <string>

// A resource link's fid and fext become the names of files in the resource
// directory (and the fid a part of the download URL). Only names that stay
// a plain file name there pass: no separator, "..", ':', character that
// Windows file names cannot hold, control byte, blank or dot at the end, or
// device name (CON, NUL, COM1...). The fid must not be empty and must not
// hold '&', '#', '%' or a blank either, since it is put into URLs as it is.
bool IsSafeResourceFid(const std::string& fid);
bool IsSafeResourceFext(const std::string& fext);
