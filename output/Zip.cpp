#include "output/internal/Zip.h"

#include <zip.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "common/Error.h"
#include "common/Parallel.h"
#include "output/internal/Crc32.h"
#include "output/internal/FastDeflate.h"

namespace vireo::xlsx {
namespace {

constexpr std::uint64_t kMaxZipOffset = 0xFFFFFFFFu;

void Put16(std::string& s, std::uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// MS-DOS local date and time; the format starts in 1980.
void DosTime(std::time_t t, std::uint16_t& time, std::uint16_t& date) {
  std::tm tm{};
  if (t <= 0 || !localtime_r(&t, &tm) || tm.tm_year < 80 || tm.tm_year > 207) {
    time = 0;
    date = (1 << 5) | 1;  // 1980-01-01
    return;
  }
  time = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  date = static_cast<std::uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

bool NeedsUtf8Flag(const std::string& name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

[[noreturn]] void Fail(const std::string& file, const std::string& cause) {
  throw Error(file, "read workbook", cause);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string SizeText(std::uint64_t bytes) {
  return bytes >= (std::uint64_t{1} << 30) ? std::to_string(bytes >> 30) + " GiB"
                                           : std::to_string(bytes >> 20) + " MiB";
}

}  // namespace

namespace {

// Raw deflate of `input` after `dictionary` (the input before it), ended
// with a sync flush, or finished when `last`.
std::string DeflateChunk(int level, std::string_view dictionary, std::string_view input,
                         bool last) {
  if (level == Deflater::kFast) {
    std::string out;
    out.reserve(input.size() / 4 + 64);
    FastDeflate(dictionary, input, last, out);
    return out;
  }
  z_stream stream{};
  // Negative window bits: raw deflate, as zip entries hold it.
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw Error("zlib", "compress", "cannot start deflate");
  struct End {
    z_stream* s;
    ~End() { deflateEnd(s); }
  } end{&stream};
  if (!dictionary.empty() &&
      deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(dictionary.data()),
                           static_cast<uInt>(dictionary.size())) != Z_OK)
    throw Error("zlib", "compress", "cannot continue deflate");
  std::string out;
  out.resize(deflateBound(&stream, static_cast<uLong>(input.size())) + 16);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  std::size_t done = 0;
  // A flush that fills the buffer may not be complete: deflate is called
  // again with more room until it is.
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef*>(out.data() + done);
    stream.avail_out = static_cast<uInt>(out.size() - done);
    const int rc = deflate(&stream, flush);
    done = out.size() - stream.avail_out;
    if (rc == Z_STREAM_ERROR || (rc == Z_BUF_ERROR && stream.avail_out > 0))
      throw Error("zlib", "compress", "deflate failed");
    if (stream.avail_out > 0 && stream.avail_in == 0 && (!last || rc == Z_STREAM_END)) break;
    out.resize(out.size() * 2);
  }
  out.resize(done);
  return out;
}

Deflater::Piece CodedAfter(int level, std::string_view dictionary, std::string_view input) {
  Deflater::Piece piece;
  piece.crc = Crc32(0, input);
  piece.size = input.size();
  piece.data = DeflateChunk(level, dictionary, input, false);
  return piece;
}

}  // namespace

Deflater::Piece Deflater::CodeApart(int level, std::string_view input) {
  return CodedAfter(level, {}, input);
}

void Deflater::Hand() {
  if (inFlight_.size() >= kInFlight) Take();
  // The chunk goes with the bytes before it; its own last 32 KiB stay for
  // the next one.
  std::string chunk = std::move(pending_);
  const std::size_t keep = std::min(kWindowSize, chunk.size());
  pending_ = std::string();
  pending_.reserve(chunk_ + kWindowSize + 4096);
  pending_.append(chunk, chunk.size() - keep, keep);
  auto compress = [level = level_, dictionary = dictionary_, chunk = std::move(chunk)]() {
    const std::string_view whole(chunk);
    return CodedAfter(level, whole.substr(0, dictionary), whole.substr(dictionary));
  };
  dictionary_ = keep;
  try {
    inFlight_.push_back(std::async(kOwnThread, compress));
  } catch (const std::system_error&) {
    // No thread to be had (a bound on memory or processes): the chunk is
    // compressed here, when it is taken.
    inFlight_.push_back(std::async(std::launch::deferred, std::move(compress)));
  }
}

void Deflater::Append(Piece piece) {
  if (pending_.size() > dictionary_) Hand();
  if (inFlight_.size() >= kInFlight) Take();
  std::promise<Piece> coded;
  coded.set_value(std::move(piece));
  inFlight_.push_back(coded.get_future());
  // What follows starts afresh: the piece's bytes are not at hand.
  pending_.clear();
  dictionary_ = 0;
}

void Deflater::Take() {
  Piece piece = inFlight_.front().get();
  inFlight_.pop_front();
  crc_ =
      static_cast<std::uint32_t>(crc32_combine(crc_, piece.crc, static_cast<z_off_t>(piece.size)));
  size_ += piece.size;
  // Copied at its size on this thread: the coder's buffer has room for the
  // worst case, and memory freed here before (the lines read back) is used
  // again rather than the coding thread's.
  out_.emplace_back(piece.data);
}

StoredEntry Deflater::Finish() {
  while (!inFlight_.empty()) Take();
  const std::string_view whole(pending_);
  const std::string_view input = whole.substr(dictionary_);
  crc_ = Crc32(crc_, input);
  size_ += input.size();
  std::string last = DeflateChunk(level_, whole.substr(0, dictionary_), input, true);
  pending_.clear();
  dictionary_ = 0;
  StoredEntry entry;
  entry.method = kDeflated;
  entry.crc = crc_;
  entry.size = size_;
  if (out_.empty()) {
    entry.data = std::move(last);
  } else {
    out_.push_back(std::move(last));
    entry.more = std::move(out_);
  }
  entry.mtime = std::time(nullptr);
  out_.clear();
  return entry;
}

StoredEntry Deflater::Finish(DeflateTail tail) {
  // What was written ends on a byte boundary in a block that is not the
  // last: the tail's blocks follow.
  if (pending_.size() > dictionary_) Hand();
  while (!inFlight_.empty()) Take();
  crc_ = static_cast<std::uint32_t>(crc32_combine(crc_, tail.crc, static_cast<z_off_t>(tail.size)));
  size_ += tail.size;
  out_.push_back(std::move(tail.data));
  pending_.clear();
  dictionary_ = 0;
  StoredEntry entry;
  entry.method = kDeflated;
  entry.crc = crc_;
  entry.size = size_;
  entry.more = std::move(out_);
  entry.mtime = std::time(nullptr);
  out_.clear();
  return entry;
}

std::uint64_t StoredEntry::StoredSize() const {
  std::uint64_t stored = data.size();
  for (const std::string& piece : more) stored += piece.size();
  return stored;
}

StoredEntry DeflateWhole(std::string_view content) {
  Deflater deflater(6);
  deflater.Write(content);
  return deflater.Finish();
}

void ZipWriter::Emit(std::string_view bytes) {
  // In slices: a sink that buffers then never holds a second copy of a
  // large entry.
  constexpr std::size_t kSlice = 1 << 20;
  for (std::size_t at = 0; at < bytes.size(); at += kSlice) sink_(bytes.substr(at, kSlice));
  offset_ += bytes.size();
}

void ZipWriter::Add(const std::string& name, const StoredEntry& entry) {
  const std::uint64_t stored = entry.StoredSize();
  if (entry.size > kMaxZipOffset || stored > kMaxZipOffset ||
      offset_ + stored + name.size() + 30 > kMaxZipOffset || central_.size() >= 0xFFFF ||
      name.size() > 0xFFFF)
    throw Error(name, "write workbook", "the package would exceed 4 GB or 65535 parts");
  Central c{name,
            entry.method,
            0,
            0,
            entry.crc,
            static_cast<std::uint32_t>(stored),
            static_cast<std::uint32_t>(entry.size),
            static_cast<std::uint32_t>(offset_)};
  DosTime(entry.mtime, c.time, c.date);
  std::string header;
  header.reserve(30 + name.size());
  Put32(header, 0x04034b50);
  Put16(header, 20);                                // version needed: 2.0
  Put16(header, NeedsUtf8Flag(name) ? 0x0800 : 0);  // bit 11: UTF-8 name
  Put16(header, c.method);
  Put16(header, c.time);
  Put16(header, c.date);
  Put32(header, c.crc);
  Put32(header, c.compressedSize);
  Put32(header, c.size);
  Put16(header, static_cast<std::uint16_t>(name.size()));
  Put16(header, 0);
  header += name;
  Emit(header);
  Emit(entry.data);
  for (const std::string& piece : entry.more) Emit(piece);
  central_.push_back(std::move(c));
}

void ZipWriter::Finish() {
  std::string dir;
  const std::uint64_t start = offset_;
  for (const Central& c : central_) {
    Put32(dir, 0x02014b50);
    Put16(dir, 20);  // made by: MS-DOS, 2.0
    Put16(dir, 20);
    Put16(dir, NeedsUtf8Flag(c.name) ? 0x0800 : 0);
    Put16(dir, c.method);
    Put16(dir, c.time);
    Put16(dir, c.date);
    Put32(dir, c.crc);
    Put32(dir, c.compressedSize);
    Put32(dir, c.size);
    Put16(dir, static_cast<std::uint16_t>(c.name.size()));
    Put16(dir, 0);  // extra
    Put16(dir, 0);  // comment
    Put16(dir, 0);  // disk
    Put16(dir, 0);  // internal attributes
    Put32(dir, 0);  // external attributes
    Put32(dir, c.offset);
    dir += c.name;
  }
  if (start + dir.size() > kMaxZipOffset)
    throw Error("package", "write workbook", "the package would exceed 4 GB");
  const auto directorySize = static_cast<std::uint32_t>(dir.size());
  Put32(dir, 0x06054b50);
  Put16(dir, 0);
  Put16(dir, 0);
  Put16(dir, static_cast<std::uint16_t>(central_.size()));
  Put16(dir, static_cast<std::uint16_t>(central_.size()));
  Put32(dir, directorySize);
  Put32(dir, static_cast<std::uint32_t>(start));
  Put16(dir, 0);
  Emit(dir);
}

ZipReader::ZipReader(std::string bytes, std::string name)
    : bytes_(std::move(bytes)), name_(std::move(name)) {
  if (bytes_.empty()) throw Error(name_, "not a workbook", "not a zip archive (the file is empty)");
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &error);
  if (!source) {
    zip_error_fini(&error);
    Fail(name_, "not a workbook (cannot read it as a zip archive)");
  }
  archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (!archive_) {
    zip_source_free(source);
    zip_error_fini(&error);
    throw Error(name_, "not a workbook", "not a zip archive");
  }
  zip_error_fini(&error);
  zip_int64_t count = zip_get_num_entries(archive_, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* entryName = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0);
    names_.emplace_back(entryName ? entryName : "");
  }
}

ZipReader::~ZipReader() {
  if (archive_) zip_discard(archive_);
}

std::optional<std::size_t> ZipReader::Find(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == name) return i;
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (EqualNoCase(names_[i], name)) return i;
  return std::nullopt;
}

std::uint64_t ZipReader::CheckedSize(std::size_t index, std::uint64_t limit) const {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, index, 0, &st) != 0)
    Fail(name_, "broken zip entry " + names_[index]);
  if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
    Fail(name_, names_[index] + " is encrypted");
  if (!(st.valid & ZIP_STAT_SIZE) || st.size > limit)
    Fail(name_, names_[index] + " inflates to more than " + SizeText(limit) +
                    ", the most this program reads of one part");
  return st.size;
}

void ZipReader::ReadChunks(std::size_t index,
                           const std::function<void(std::string_view)>& piece) const {
  Inflate(index, kMaxPartSize, piece);
}

void ZipReader::Inflate(std::size_t index, std::uint64_t limit,
                        const std::function<void(std::string_view)>& piece) const {
  const std::uint64_t expected = CheckedSize(index, limit);
  zip_file_t* file = zip_fopen_index(archive_, index, 0);
  if (!file) Fail(name_, "cannot read " + names_[index] + " (" + zip_strerror(archive_) + ")");
  struct Closer {
    zip_file_t* f;
    ~Closer() { zip_fclose(f); }
  } closer{file};
  std::string buffer(1 << 16, '\0');
  std::uint64_t total = 0;
  for (;;) {
    zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
    if (n < 0)
      Fail(name_, "broken zip entry " + names_[index] + " (" + zip_file_strerror(file) + ")");
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    // The directory's size is what the entry claims; never read past it.
    if (total > expected) Fail(name_, names_[index] + " inflates past its stated size");
    piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }
}

namespace {

// The inflated pieces between the inflating thread and the reader, gathered
// into slices of a quarter megabyte; at most kAhead slices wait.
class SliceQueue {
 public:
  static constexpr std::size_t kSlice = std::size_t{1} << 18;
  static constexpr std::size_t kAhead = 4;
  struct Stopped {};  // thrown on the inflating thread when the reader has stopped

  // Hands `slice` on and gives back an emptied one the reader is done
  // with: the same few buffers go round instead of being made and freed.
  void Put(std::string& slice) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || slices_.size() < kAhead; });
    if (stopped_) throw Stopped{};
    slices_.push_back(std::move(slice));
    slice = std::string();
    if (!spare_.empty()) {
      slice = std::move(spare_.back());
      spare_.pop_back();
      slice.clear();
    }
    changed_.notify_all();
  }
  void GiveBack(std::string slice) {
    std::lock_guard lock(mutex_);
    if (spare_.size() < kAhead) spare_.push_back(std::move(slice));
  }
  // Ends the queue: after the last slice, or with what went wrong.
  void End(std::exception_ptr failure) {
    std::lock_guard lock(mutex_);
    ended_ = true;
    failure_ = failure;
    changed_.notify_all();
  }
  // The next slice; false once the queue has ended (rethrowing its failure).
  bool Take(std::string& slice) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ended_ || !slices_.empty(); });
    if (slices_.empty()) {
      if (failure_) std::rethrow_exception(failure_);
      return false;
    }
    slice = std::move(slices_.front());
    slices_.pop_front();
    changed_.notify_all();
    return true;
  }
  void Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> slices_;
  std::vector<std::string> spare_;
  bool stopped_ = false, ended_ = false;
  std::exception_ptr failure_;
};

}  // namespace

void ZipReader::ReadChunksAhead(std::size_t index,
                                const std::function<void(std::string_view)>& piece) const {
  if (!kThreadsAvailable) return ReadChunks(index, piece);
  SliceQueue queue;
  auto inflate = [&] {
    try {
      std::string slice;
      Inflate(index, kMaxPartSize, [&](std::string_view bytes) {
        if (slice.empty()) slice.reserve(SliceQueue::kSlice + bytes.size());
        slice.append(bytes);
        if (slice.size() >= SliceQueue::kSlice) queue.Put(slice);
      });
      if (!slice.empty()) queue.Put(slice);
      queue.End(nullptr);
    } catch (const SliceQueue::Stopped&) {
      queue.End(nullptr);
    } catch (...) {
      queue.End(std::current_exception());
    }
  };
  std::thread worker;
  try {
    worker = std::thread(inflate);
  } catch (const std::system_error&) {
    return ReadChunks(index, piece);  // no thread to be had: inflated here
  }
  try {
    for (std::string slice; queue.Take(slice);) {
      piece(slice);
      queue.GiveBack(std::move(slice));
    }
  } catch (...) {
    queue.Stop();
    worker.join();
    throw;
  }
  worker.join();
}

std::string ZipReader::Read(std::size_t index) const {
  std::string content;
  content.reserve(static_cast<std::size_t>(CheckedSize(index, kMaxWholePartSize)));
  Inflate(index, kMaxWholePartSize, [&](std::string_view piece) { content.append(piece); });
  return content;
}

std::optional<DeflateTail> ZipReader::InflateUntilTail(
    std::size_t index, std::uint64_t keepFrom,
    const std::function<void(std::string_view)>& piece) const {
  StoredEntry stored = ReadStored(index);
  if (stored.method != kDeflated) {
    ReadChunks(index, piece);
    return std::nullopt;
  }
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) Fail(name_, "cannot start inflate");
  struct End {
    z_stream* s;
    ~End() { inflateEnd(s); }
  } end{&stream};
  stream.next_in = reinterpret_cast<Bytef*>(stored.data.data());
  stream.avail_in = static_cast<uInt>(stored.data.size());
  std::string buffer(1 << 16, '\0');
  std::uint64_t total = 0;
  std::uint32_t crc = 0;
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
    stream.avail_out = static_cast<uInt>(buffer.size());
    const int rc = inflate(&stream, Z_BLOCK);
    const std::size_t n = buffer.size() - stream.avail_out;
    total += n;
    if (total > stored.size) Fail(name_, names_[index] + " inflates past its stated size");
    crc = Crc32(crc, std::string_view(buffer.data(), n));
    if (n > 0) piece(std::string_view(buffer.data(), n));
    if (rc == Z_STREAM_END) {
      if (total != stored.size || crc != stored.crc)
        Fail(name_, "broken zip entry " + names_[index] + " (its CRC or size does not match)");
      return std::nullopt;
    }
    if (rc != Z_OK && !(rc == Z_BUF_ERROR && stream.avail_in > 0))
      Fail(name_, "broken zip entry " + names_[index]);
    // data_type 128 alone: at the end of a block that is not the last,
    // no bits of the next byte taken.
    if ((stream.data_type & 0x1FF) == 128 && total >= keepFrom + (std::uint64_t{1} << 15)) {
      DeflateTail tail;
      tail.size = stored.size - total;
      // CRCs combine linearly: the tail's is what the whole one's leaves
      // once the head's is taken out.
      tail.crc = stored.crc ^
                 static_cast<std::uint32_t>(crc32_combine(crc, 0, static_cast<z_off_t>(tail.size)));
      stored.data.erase(0, stored.data.size() - stream.avail_in);
      tail.data = std::move(stored.data);
      return tail;
    }
  }
}

StoredEntry ZipReader::ReadStored(std::size_t index) const {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, index, 0, &st) != 0)
    Fail(name_, "broken zip entry " + names_[index]);
  const zip_uint64_t needed =
      ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
  const bool copyable =
      (st.valid & needed) == needed &&
      (st.comp_method == ZIP_CM_STORE || st.comp_method == ZIP_CM_DEFLATE) &&
      !((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) &&
      st.comp_size <= kMaxPartSize && st.size <= kMaxPartSize;
  StoredEntry entry;
  if (!copyable) {
    // Another compression method: store it again deflated.
    entry = DeflateWhole(Read(index));
  } else {
    entry.method = static_cast<std::uint16_t>(st.comp_method);
    entry.crc = st.crc;
    entry.size = st.size;
    zip_file_t* file = zip_fopen_index(archive_, index, ZIP_FL_COMPRESSED);
    if (!file) Fail(name_, "cannot read " + names_[index] + " (" + zip_strerror(archive_) + ")");
    struct Closer {
      zip_file_t* f;
      ~Closer() { zip_fclose(f); }
    } closer{file};
    entry.data.resize(static_cast<std::size_t>(st.comp_size));
    std::uint64_t done = 0;
    while (done < st.comp_size) {
      zip_int64_t n = zip_fread(file, entry.data.data() + done, st.comp_size - done);
      if (n < 0) Fail(name_, "broken zip entry " + names_[index]);
      if (n == 0) break;
      done += static_cast<std::uint64_t>(n);
    }
    if (done != st.comp_size) Fail(name_, "zip entry " + names_[index] + " is cut short");
  }
  entry.mtime = (st.valid & ZIP_STAT_MTIME) ? st.mtime : std::time(nullptr);
  return entry;
}

std::string BuildPackage(const std::vector<std::pair<std::string, std::string>>& parts) {
  std::string bytes;
  ZipWriter writer([&](std::string_view piece) { bytes.append(piece); });
  for (const auto& [name, content] : parts) writer.Add(name, DeflateWhole(content));
  writer.Finish();
  return bytes;
}

}  // namespace vireo::xlsx
