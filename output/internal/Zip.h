// The zip layer of the workbook: reading a package held in memory through
// libzip, and writing a new package entry by entry. Entries are written with
// their sizes and CRC in the local header (no data descriptors) and without
// zip64, which both Excel and LibreOffice read without complaint.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace vireo::xlsx {

// No single part may inflate past this size.
constexpr std::uint64_t kMaxPartSize = std::uint64_t{1} << 30;
// A part read whole and parsed as a tree (all but the streamed sheet) may
// inflate to this size at most: its tree takes several times as much.
constexpr std::uint64_t kMaxWholePartSize = std::uint64_t{64} << 20;

// Compression methods a package may use.
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;

// One entry as it is stored: compressed bytes plus what the headers need.
struct StoredEntry {
  std::uint16_t method = kDeflated;
  std::uint32_t crc = 0;
  std::uint64_t size = 0;  // uncompressed
  std::string data;        // as stored (compressed when method is deflate)
  // A large entry deflated in chunks keeps them apart, stored after `data`
  // in order: joined, its bytes would be held twice while they grow.
  std::vector<std::string> more;
  std::time_t mtime = 0;
  std::uint64_t StoredSize() const;
};

// The end of an entry's deflate stream as it is stored, from a block that
// starts on a byte boundary: it follows other deflated bytes unchanged when
// the 32 KiB of input before it are the same.
struct DeflateTail {
  std::string data;       // the stored bytes, ending the stream
  std::uint32_t crc = 0;  // of what they inflate to
  std::uint64_t size = 0;
};

// Raw deflate into memory, with the CRC and size of what went in. Input is
// gathered into blocks so callers may write many small pieces cheaply.
class Deflater {
 public:
  // The level of the fast coder (FastDeflate.h); 1 to 9 are zlib's.
  static constexpr int kFast = -1;
  explicit Deflater(int level = 1)
      : level_(level), chunk_(level == kFast ? std::size_t{1} << 20 : std::size_t{1} << 18) {}
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // A stretch of the entry's bytes deflated: raw deflate that ends on a
  // byte boundary (a sync flush), with the CRC and size of what went in.
  struct Piece {
    std::string data;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
  };
  // `input` deflated at `level` on its own, no match reaching before it:
  // for a writer that puts pieces of an entry together on several threads.
  static Piece CodeApart(int level, std::string_view input);

  int Level() const { return level_; }
  void Write(std::string_view bytes) {
    pending_.append(bytes);
    if (pending_.size() - dictionary_ >= chunk_) Hand();
  }
  // Adds a piece coded apart at this level after what was written so far.
  void Append(Piece piece);
  // Ends the stream and hands the entry out.
  StoredEntry Finish();
  // Ends it with `tail`, which takes up the input where what was written
  // stops.
  StoredEntry Finish(DeflateTail tail);

 private:
  // A large entry is compressed in chunks on other threads while the
  // writer goes on: each chunk starts from the 32 KiB of input before it
  // and ends on a byte boundary, so the chunks join into one deflate
  // stream. A few chunks at a time are in flight.
  static constexpr std::size_t kInFlight = 3;
  static constexpr std::size_t kWindowSize = std::size_t{1} << 15;
  void Hand();
  void Take();  // appends the oldest chunk in flight to the output

  int level_;
  // The fast coder's chunks are larger: it runs through a chunk in half
  // zlib's time, and each chunk starts a thread. The report's zlib chunks
  // stay small, for the memory of the RL adjustment.
  std::size_t chunk_;
  // The input not yet handed out, after the dictionary_ bytes before it
  // (the last 32 KiB handed out, which its matches may reach back into).
  std::string pending_;
  std::size_t dictionary_ = 0;
  std::deque<std::future<Piece>> inFlight_;
  std::vector<std::string> out_;  // the chunks coded so far
  std::uint32_t crc_ = 0;
  std::uint64_t size_ = 0;
};

StoredEntry DeflateWhole(std::string_view content);

// Writes a zip archive to `sink` one entry at a time.
class ZipWriter {
 public:
  explicit ZipWriter(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {}
  void Add(const std::string& name, const StoredEntry& entry);
  // Writes the central directory. Nothing may be added afterwards.
  void Finish();

 private:
  struct Central {
    std::string name;
    std::uint16_t method, time, date;
    std::uint32_t crc, compressedSize, size, offset;
  };
  void Emit(std::string_view bytes);

  std::function<void(std::string_view)> sink_;
  std::vector<Central> central_;
  std::uint64_t offset_ = 0;
};

// A zip archive held in memory. `name` is the file named in errors.
class ZipReader {
 public:
  ZipReader(std::string bytes, std::string name);
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  std::size_t Count() const { return names_.size(); }
  const std::string& Name(std::size_t index) const { return names_[index]; }
  // Entry names compare without regard to ASCII case, as package part
  // names do.
  std::optional<std::size_t> Find(std::string_view name) const;

  // The inflated content of an entry, at most kMaxWholePartSize bytes.
  std::string Read(std::size_t index) const;
  // The inflated content in pieces, for parts too large to hold at once.
  void ReadChunks(std::size_t index, const std::function<void(std::string_view)>& piece) const;
  // The same, inflated on a thread of its own a few pieces ahead of
  // `piece`, so that a large part is inflated while the pieces before are
  // parsed or written. An error of either side comes out here, and the
  // thread never outlives the call.
  void ReadChunksAhead(std::size_t index, const std::function<void(std::string_view)>& piece) const;
  // Inflates the entry into `piece` until its inflated bytes pass
  // `keepFrom` by 32 KiB and its stream starts a block on a byte boundary
  // (as a chunked writer's sync flushes leave it), and returns the stored
  // bytes from there: a part changed only above `keepFrom` is deflated
  // again only down to that point. Without such a point it inflates the
  // whole entry and returns nothing.
  std::optional<DeflateTail> InflateUntilTail(
      std::size_t index, std::uint64_t keepFrom,
      const std::function<void(std::string_view)>& piece) const;
  // The entry as stored, for copying it unchanged.
  StoredEntry ReadStored(std::size_t index) const;

 private:
  std::uint64_t CheckedSize(std::size_t index, std::uint64_t limit) const;
  void Inflate(std::size_t index, std::uint64_t limit,
               const std::function<void(std::string_view)>& piece) const;

  std::string bytes_;  // libzip reads from here; must outlive archive_
  std::string name_;
  zip* archive_ = nullptr;
  std::vector<std::string> names_;
};

// Builds a whole package from parts given in order.
std::string BuildPackage(const std::vector<std::pair<std::string, std::string>>& parts);

}  // namespace vireo::xlsx
