#pragma once
#include <string>

class CFileListStore;

// The downloaded resources of the account's file list, as files of a
// directory: only files (not directories) directly inside it whose name
// belongs to the list are touched; every other file stays.

// Moves the listed files of `from` into `to`, replacing a file of the same
// name there, unless both names reach the same file. Files that cannot be
// moved are skipped. The number of files moved.
int MoveListedFiles(const CFileListStore& list, const std::string& from, const std::string& to);

// Deletes the listed files of `dir`; the number deleted.
int DeleteListedFiles(const CFileListStore& list, const std::string& dir);
