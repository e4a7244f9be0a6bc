#include <new>

#include "platform/Files.h"
#include "store/RecordStream.h"

namespace {

// Runs one direction of a stream over an open file; memory exhaustion is a
// failure of the stream like any other.
bool RunStream(platform::File& file, CRecordStream::Direction direction,
               const std::function<bool(CRecordStream&)>& fields) {
  try {
    CRecordStream stream(file, direction);
    bool ok = fields(stream) && !stream.Failed();
    if (direction == CRecordStream::STORE) ok = stream.Flush() && ok;
    return ok;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool WriteNewFile(const std::string& path, const RecordWriter& write) {
  platform::File file;
  if (!file.Open(path, platform::FileMode::CreateAlways)) return false;
  return RunStream(file, CRecordStream::STORE, write);
}

}  // namespace

bool LoadRecords(const std::string& path, const RecordReader& read) {
  platform::File file;
  if (!file.Open(path, platform::FileMode::Read)) return false;
  return RunStream(file, CRecordStream::LOAD, read);
}

bool SaveRecords(const std::string& path, const RecordWriter& write) {
  return WriteNewFile(path, write);
}

bool SaveWithBackup(const std::string& path, const RecordWriter& write) {
  const std::string backup = path + "_OLD";
  if (platform::FileExists(path)) {
    platform::DeleteFileAt(backup);
    // Without a backup the new file would be written over the only good copy.
    if (!platform::RenameFile(path, backup)) return false;
  }
  if (WriteNewFile(path, write)) return true;
  if (platform::FileExists(backup)) {
    platform::DeleteFileAt(path);
    platform::RenameFile(backup, path);
  }
  return false;
}
