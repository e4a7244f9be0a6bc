#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Files.h"

// The byte format of every data file: little-endian 32-bit numbers, raw
// blocks and length-prefixed strings in the system code page, through a
// 4096-byte buffer in front of an open file.
//
// A stream is bound to one open file and one direction for its life. A
// failure (end of data inside a value, a file error, a length larger than
// what the file still holds) is sticky: every later call fails too, so a
// store reads or writes its fields in order and checks the result once.
// The file is not owned; it stays open when the stream ends, so a writer
// may keep one handle and rewrite it from its first byte with Rewind().
class CRecordStream {
 public:
  enum Direction { STORE, LOAD };
  static constexpr size_t BUFFER_SIZE = 4096;

  CRecordStream(platform::File& file, Direction direction);
  ~CRecordStream();  // a store stream flushes what is still buffered
  CRecordStream(const CRecordStream&) = delete;
  CRecordStream& operator=(const CRecordStream&) = delete;

  // Store direction.
  bool WriteInt32(int32_t value);
  bool WriteString(const std::string& text);
  bool WriteBytes(const void* bytes, size_t count);
  bool Flush();

  // Load direction. ReadBytes returns how many bytes could be read and does
  // not fail at the end of the data.
  bool ReadInt32(int32_t& value);
  bool ReadString(std::string& text);
  size_t ReadBytes(void* buffer, size_t count);

  // Store: flushes, then the next write goes to the file's first byte (the
  // file is not emptied). Load: reads again from the first byte. Clears an
  // earlier failure; false when the flush or the seek fails.
  bool Rewind();

  bool Failed() const { return m_bFailed; }

 private:
  bool FillBuffer();
  bool ReadExact(void* buffer, size_t count);
  bool ReadLength(uint32_t& length, bool& isWide);
  bool ReadTextBytes(std::string& text, uint64_t count);
  uint64_t BytesLeft() const;
  bool Fail();

  platform::File& m_file;
  Direction m_direction;
  unsigned char m_buffer[BUFFER_SIZE];
  size_t m_nUsed = 0;     // store: bytes waiting; load: bytes in the buffer
  size_t m_nPos = 0;      // load: next unread byte of the buffer
  int64_t m_nFileSize = -1;  // load: size when the stream began
  int64_t m_nFileRead = 0;   // load: bytes taken from the file so far
  bool m_bFailed = false;
};

// Writes one data file through a store stream.
using RecordWriter = std::function<bool(CRecordStream&)>;
// Reads one data file through a load stream; false stops the load.
using RecordReader = std::function<bool(CRecordStream&)>;

// The load frame: opens the file for reading, with others reading too, and
// runs `read`. Whole when the fields were read whole; Held when another
// program held the file for the whole wait (about 2 s; `read` did not run,
// and the backup is not read: the file itself is the newer one); otherwise
// Incomplete: missing, unreadable, larger than any data file can be, or
// ending early. A file that is missing or cannot be read whole is replaced by
// its backup (path + "_OLD") when that one reads whole, so `read` may run a
// second time: it starts from an empty store on every run. When neither reads
// whole, what `read` stored from the file itself stays with the caller.
enum class RecordLoad { Whole, Incomplete, Held };
RecordLoad LoadRecordsWithOutcome(const std::string& path, const RecordReader& read);
// The same; true for Whole.
bool LoadRecords(const std::string& path, const RecordReader& read);

// A save without backup. The new content is written and flushed beside the
// file (path + "_NEW") and then takes its name, so the name holds the old or
// the new content at every moment; false leaves the old file as it was.
bool SaveRecords(const std::string& path, const RecordWriter& write);

// The safe save: written like SaveRecords, and the previous file is kept as
// path + "_OLD". False (nothing could be written, or the replacement failed)
// leaves the previous file and its backup in place.
bool SaveWithBackup(const std::string& path, const RecordWriter& write);
