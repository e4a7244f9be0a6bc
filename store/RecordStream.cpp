#include "store/RecordStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/CodePage.h"

namespace {

// Prefix bytes of the string lengths.
const uint8_t kLongMark = 0xFF;
const uint16_t kWideMark = 0xFFFE;
const uint16_t kHugeMark = 0xFFFF;
// Text is taken in pieces so that a length read from a damaged file never
// decides an allocation on its own.
const size_t kTextPiece = 64 * 1024;

void PutLittleEndian(unsigned char* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = (unsigned char)(value >> (8 * i));
}

uint32_t GetLittleEndian(const unsigned char* in, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= (uint32_t)in[i] << (8 * i);
  return value;
}

std::u16string BytesToUtf16(const std::string& bytes) {
  std::u16string wide(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i)
    wide[i] = (char16_t)GetLittleEndian((const unsigned char*)bytes.data() + 2 * i, 2);
  return wide;
}

}  // namespace

CRecordStream::CRecordStream(platform::File& file, Direction direction)
    : m_file(file), m_direction(direction) {
  if (m_direction == LOAD) m_nFileSize = m_file.Size();
}

CRecordStream::~CRecordStream() {
  if (m_direction == STORE) Flush();
}

bool CRecordStream::Fail() {
  m_bFailed = true;
  return false;
}

// ---- store ----

bool CRecordStream::WriteBytes(const void* bytes, size_t count) {
  if (m_bFailed || m_direction != STORE) return Fail();
  const unsigned char* in = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    size_t piece = std::min(count, BUFFER_SIZE - m_nUsed);
    memcpy(m_buffer + m_nUsed, in, piece);
    m_nUsed += piece;
    in += piece;
    count -= piece;
    if (m_nUsed == BUFFER_SIZE && !Flush()) return false;
  }
  return true;
}

bool CRecordStream::WriteInt32(int32_t value) {
  unsigned char bytes[4];
  PutLittleEndian(bytes, (uint32_t)value, 4);
  return WriteBytes(bytes, 4);
}

bool CRecordStream::WriteString(const std::string& text) {
  if (text.size() > UINT32_MAX) return Fail();
  const uint32_t length = (uint32_t)text.size();
  unsigned char prefix[7];
  size_t prefixSize;
  if (length < kLongMark) {
    prefix[0] = (unsigned char)length;
    prefixSize = 1;
  } else if (length < kWideMark) {
    prefix[0] = kLongMark;
    PutLittleEndian(prefix + 1, length, 2);
    prefixSize = 3;
  } else {
    prefix[0] = kLongMark;
    PutLittleEndian(prefix + 1, kHugeMark, 2);
    PutLittleEndian(prefix + 3, length, 4);
    prefixSize = 7;
  }
  return WriteBytes(prefix, prefixSize) && WriteBytes(text.data(), text.size());
}

bool CRecordStream::Flush() {
  if (m_direction != STORE) return true;
  if (m_bFailed) return false;
  if (m_nUsed > 0 && !m_file.Write(m_buffer, m_nUsed)) {
    m_nUsed = 0;
    return Fail();
  }
  m_nUsed = 0;
  return true;
}

// The bytes still buffered by a failed stream are dropped: the record that
// follows the rewind replaces them.
bool CRecordStream::Rewind() {
  bool flushed = m_bFailed || Flush();
  m_bFailed = false;
  m_nUsed = m_nPos = 0;
  m_nFileRead = 0;
  if (!flushed || !m_file.Seek(0)) return Fail();
  if (m_direction == LOAD) m_nFileSize = m_file.Size();
  return true;
}

// ---- load ----

bool CRecordStream::FillBuffer() {
  size_t got = 0;
  if (!m_file.Read(m_buffer, BUFFER_SIZE, got)) return Fail();
  m_nUsed = got;
  m_nPos = 0;
  m_nFileRead += (int64_t)got;
  return true;
}

// Bytes the stream can still deliver; unknown file sizes do not limit.
uint64_t CRecordStream::BytesLeft() const {
  if (m_nFileSize < 0) return UINT64_MAX;
  int64_t inFile = std::max<int64_t>(0, m_nFileSize - m_nFileRead);
  return (uint64_t)inFile + (m_nUsed - m_nPos);
}

size_t CRecordStream::ReadBytes(void* buffer, size_t count) {
  if (m_bFailed || m_direction != LOAD) return 0;
  unsigned char* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (m_nPos == m_nUsed && (!FillBuffer() || m_nUsed == 0)) break;
    size_t piece = std::min(count - done, m_nUsed - m_nPos);
    memcpy(out + done, m_buffer + m_nPos, piece);
    m_nPos += piece;
    done += piece;
  }
  return done;
}

bool CRecordStream::ReadExact(void* buffer, size_t count) {
  if (ReadBytes(buffer, count) != count) return Fail();
  return true;
}

bool CRecordStream::ReadInt32(int32_t& value) {
  unsigned char bytes[4];
  if (!ReadExact(bytes, 4)) return false;
  value = (int32_t)GetLittleEndian(bytes, 4);
  return true;
}

// One length prefix; `isWide` marks the UTF-16 form, whose own prefix
// (the number of 16-bit characters) follows.
bool CRecordStream::ReadLength(uint32_t& length, bool& isWide) {
  unsigned char bytes[4];
  isWide = false;
  if (!ReadExact(bytes, 1)) return false;
  if (bytes[0] != kLongMark) {
    length = bytes[0];
    return true;
  }
  if (!ReadExact(bytes, 2)) return false;
  uint32_t mid = GetLittleEndian(bytes, 2);
  if (mid == kWideMark) {
    isWide = true;
    return true;
  }
  if (mid != kHugeMark) {
    length = mid;
    return true;
  }
  if (!ReadExact(bytes, 4)) return false;
  length = GetLittleEndian(bytes, 4);
  return true;
}

bool CRecordStream::ReadTextBytes(std::string& text, uint64_t count) {
  if (count > BytesLeft()) return Fail();
  std::string bytes;
  try {
    while (bytes.size() < count) {
      size_t piece = (size_t)std::min<uint64_t>(kTextPiece, count - bytes.size());
      size_t at = bytes.size();
      bytes.resize(at + piece);
      if (!ReadExact(bytes.data() + at, piece)) return false;
    }
  } catch (const std::bad_alloc&) {
    return Fail();
  }
  text.swap(bytes);
  return true;
}

bool CRecordStream::ReadString(std::string& text) {
  if (m_bFailed || m_direction != LOAD) return Fail();
  uint32_t length = 0;
  bool isWide = false;
  if (!ReadLength(length, isWide)) return false;
  if (!isWide) return ReadTextBytes(text, length);

  bool nestedMark = false;
  if (!ReadLength(length, nestedMark)) return false;
  if (nestedMark) return Fail();  // a UTF-16 mark cannot stand for a count
  std::string bytes;
  if (!ReadTextBytes(bytes, (uint64_t)length * 2)) return false;
  try {
    text = platform::WideToAnsi(BytesToUtf16(bytes));
  } catch (const std::bad_alloc&) {
    return Fail();
  }
  return true;
}
