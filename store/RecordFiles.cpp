#include <new>

#include "platform/Files.h"
#include "store/HeldFile.h"
#include "store/RecordStream.h"

namespace {

// No data file of the system comes near this; a larger one is damaged or
// hostile, and reading it would take many times its size in memory.
constexpr int64_t MAX_DATA_FILE_SIZE = 64 * 1024 * 1024;

const char kBackupSuffix[] = "_OLD";
const char kNewSuffix[] = "_NEW";

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

RecordLoad LoadOneFile(const std::string& path, const RecordReader& read) {
  platform::File file;
  const HeldFileOpen opened = OpenWaitingForHolder(path, file);
  if (opened == HeldFileOpen::Held) return RecordLoad::Held;
  if (opened == HeldFileOpen::Missing) return RecordLoad::Incomplete;
  const int64_t size = file.Size();
  if (size < 0 || size > MAX_DATA_FILE_SIZE) return RecordLoad::Incomplete;
  return RunStream(file, CRecordStream::LOAD, read) ? RecordLoad::Whole : RecordLoad::Incomplete;
}

// The new content goes to a file of its own beside the target and is on the
// disk before it takes the target's name, so a crash at any moment leaves a
// complete file under the name.
bool WriteBesideTarget(const std::string& path, const RecordWriter& write, std::string& written) {
  written = path + kNewSuffix;
  platform::File file;
  if (!file.Open(written, platform::FileMode::CreateAlways)) return false;
  if (RunStream(file, CRecordStream::STORE, write) && file.Flush()) return true;
  file.Close();
  platform::DeleteFileAt(written);
  return false;
}

}  // namespace

// The backup is the safe save's mend for a file that is missing or damaged;
// a file that is merely held still holds the newer content. A held backup of
// a missing file counts as held: it is then the only copy of the records, and
// a save now would replace it with what the store holds without them.
RecordLoad LoadRecordsWithOutcome(const std::string& path, const RecordReader& read) {
  const RecordLoad own = LoadOneFile(path, read);
  if (own != RecordLoad::Incomplete) return own;
  const std::string backup = path + kBackupSuffix;
  if (!platform::FileExists(backup)) return own;
  const RecordLoad fromBackup = LoadOneFile(backup, read);
  if (fromBackup != RecordLoad::Incomplete) return fromBackup;
  // Neither is whole: keep what the file itself gave, as without a backup.
  LoadOneFile(path, read);
  return own;
}

bool LoadRecords(const std::string& path, const RecordReader& read) {
  return LoadRecordsWithOutcome(path, read) == RecordLoad::Whole;
}

bool SaveRecords(const std::string& path, const RecordWriter& write) {
  std::string written;
  if (!WriteBesideTarget(path, write, written)) return false;
  if (platform::MoveFileReplacing(written, path)) return true;
  platform::DeleteFileAt(written);
  return false;
}

bool SaveWithBackup(const std::string& path, const RecordWriter& write) {
  if (platform::IsDirectory(path)) return false;
  std::string written;
  if (!WriteBesideTarget(path, write, written)) return false;
  if (platform::ReplaceFileKeepingBackup(written, path, path + kBackupSuffix)) return true;
  platform::DeleteFileAt(written);
  return false;
}
