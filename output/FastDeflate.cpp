#include "output/internal/FastDeflate.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vireo::xlsx {
namespace {

// A Huffman code as it goes into the stream: bits reversed, so that they
// are written from the least significant bit on like every other field.
struct Code {
  std::uint16_t bits = 0;
  std::uint8_t length = 0;
};

std::uint16_t Reversed(unsigned code, int length) {
  unsigned reversed = 0;
  for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
  return static_cast<std::uint16_t>(reversed);
}

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                         4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A match length's code and extra bits together, as they go into the stream.
struct LengthCode {
  std::uint32_t bits = 0;
  std::uint8_t length = 0;
};

struct Codes {
  std::array<Code, 288> literal;               // literal/length alphabet, fixed codes
  std::array<LengthCode, 259> length;          // by match length, 3 to 258
  std::array<std::uint8_t, 512> distanceCode;  // by distance - 1 (< 256), else 256 + (d - 1) / 128
  std::array<std::uint16_t, 30> distance;      // the fixed five-bit codes, reversed
  Codes() {
    for (unsigned c = 0; c < 30; ++c) distance[c] = Reversed(c, 5);
    for (unsigned v = 0; v < 288; ++v) {
      const auto [code, length] = v < 144   ? std::pair{0x30 + v, 8}
                                  : v < 256 ? std::pair{0x190 + v - 144, 9}
                                  : v < 280 ? std::pair{v - 256, 7}
                                            : std::pair{0xC0 + v - 280, 8};
      literal[v] = {Reversed(code, length), static_cast<std::uint8_t>(length)};
    }
    for (unsigned n = 3; n < 259; ++n) {
      std::uint8_t c = 28;
      while (c > 0 && kLengthBase[c] > n) --c;
      const Code& code = literal[257 + c];
      length[n] = {code.bits | ((n - kLengthBase[c]) << code.length),
                   static_cast<std::uint8_t>(code.length + kLengthExtra[c])};
    }
    for (unsigned i = 0; i < 512; ++i) {
      const unsigned distance = i < 256 ? i + 1 : ((i - 256) << 7) + 1;
      std::uint8_t c = 29;
      while (c > 0 && kDistanceBase[c] > distance) --c;
      distanceCode[i] = c;
    }
  }
};

// Bits written from the least significant on, as deflate packs them, into
// room made beforehand (Reserve) for the codes that follow.
class BitWriter {
 public:
  explicit BitWriter(std::string& out) : out_(out), at_(out.size()) {}
  ~BitWriter() { out_.resize(at_); }
  // Room for `bytes` more bytes of codes.
  void Reserve(std::size_t bytes) {
    if (out_.size() - at_ < bytes + 8) out_.resize(std::max(out_.size() * 3 / 2, at_ + bytes + 8));
  }
  void Put(std::uint32_t value, int count) {
    pending_ |= static_cast<std::uint64_t>(value) << used_;
    used_ += count;
    if (used_ >= 32) {
      const auto low = static_cast<std::uint32_t>(pending_);
      std::memcpy(out_.data() + at_, &low, 4);  // little-endian, as every machine this builds for
      at_ += 4;
      pending_ >>= 32;
      used_ -= 32;
    }
  }
  // Pads the last byte with zero bits.
  void ToByte() {
    Reserve(2);
    for (; used_ > 0; used_ = std::max(0, used_ - 8), pending_ >>= 8)
      out_[at_++] = static_cast<char>(pending_ & 0xFF);
  }

 private:
  std::string& out_;
  std::size_t at_;  // the bytes before it are written
  std::uint64_t pending_ = 0;
  int used_ = 0;
};

std::uint32_t Load32(const char* at) {
  std::uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

constexpr int kHashBits = 15;
std::uint32_t Hash(std::uint32_t fourBytes) {
  return (fourBytes * 2654435761u) >> (32 - kHashBits);
}

constexpr std::size_t kMaxDistance = 32768;
constexpr std::size_t kMaxMatch = 258;

// How many bytes from `a` and `b` on are equal, up to `most`.
std::size_t MatchLength(const char* a, const char* b, std::size_t most) {
  std::size_t n = 0;
  for (; n + 8 <= most; n += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<std::size_t>(__builtin_ctzll(x ^ y) >> 3);
  }
  while (n < most && a[n] == b[n]) ++n;
  return n;
}

}  // namespace

void FastDeflate(std::string_view dictionary, std::string_view input, bool last, std::string& out) {
  static const Codes codes;
  if (dictionary.size() > kMaxDistance)
    dictionary = dictionary.substr(dictionary.size() - kMaxDistance);
  // The dictionary and the input side by side, so a match may span both;
  // they are copied together unless they already lie so.
  std::string joined;
  std::string_view window = input;
  if (!dictionary.empty()) {
    if (dictionary.data() + dictionary.size() == input.data()) {
      window = std::string_view(dictionary.data(), dictionary.size() + input.size());
    } else {
      joined.reserve(dictionary.size() + input.size());
      joined.append(dictionary).append(input);
      window = joined;
    }
  }
  const char* data = window.data();
  const std::size_t end = window.size();
  std::vector<std::uint32_t> table(std::size_t{1} << kHashBits, 0);  // place + 1; 0: none
  for (std::size_t i = 0; i + 4 <= dictionary.size(); ++i)
    table[Hash(Load32(data + i))] = static_cast<std::uint32_t>(i + 1);

  // Each place coded writes at most four bytes (a literal 9 bits, a match
  // 31), so room is made every kStep places.
  constexpr std::size_t kStep = 4096;
  BitWriter bits(out);
  bits.Reserve(input.size() / 4);
  bits.Put(last ? 1 : 0, 1);  // BFINAL
  bits.Put(1, 2);             // BTYPE 01: fixed Huffman codes
  for (std::size_t at = dictionary.size(), reserved = at; at < end;) {
    if (at >= reserved) {
      bits.Reserve(4 * kStep);
      reserved = at + kStep;
    }
    if (at + 4 <= end) {
      const std::uint32_t next = Load32(data + at);
      std::uint32_t& slot = table[Hash(next)];
      const std::size_t candidate = slot;
      slot = static_cast<std::uint32_t>(at + 1);
      if (candidate != 0 && at - (candidate - 1) <= kMaxDistance &&
          Load32(data + candidate - 1) == next) {
        const std::size_t from = candidate - 1, distance = at - from;
        const std::size_t length =
            4 + MatchLength(data + from + 4, data + at + 4, std::min(kMaxMatch, end - at) - 4);
        // The length's code and extra bits (at most 13), then the
        // distance's (at most 18): one write of at most 31 bits.
        const LengthCode& lc = codes.length[length];
        const std::size_t d = distance - 1;
        const std::uint8_t dc = codes.distanceCode[d < 256 ? d : 256 + (d >> 7)];
        const std::uint32_t distanceBits =
            codes.distance[dc] | static_cast<std::uint32_t>(distance - kDistanceBase[dc]) << 5;
        bits.Put(lc.bits | distanceBits << lc.length, lc.length + 5 + kDistanceExtra[dc]);
        // The match's last places are remembered, for what follows it.
        for (std::size_t i = at + length - 3; i < at + length && i + 4 <= end; ++i)
          table[Hash(Load32(data + i))] = static_cast<std::uint32_t>(i + 1);
        at += length;
        continue;
      }
    }
    const Code& literal = codes.literal[static_cast<unsigned char>(data[at++])];
    bits.Put(literal.bits, literal.length);
  }
  bits.Reserve(8);
  bits.Put(codes.literal[256].bits, codes.literal[256].length);  // end of block
  if (!last) bits.Put(0, 3);  // an empty stored block after it: the sync flush
  bits.ToByte();
  if (!last) {
    bits.Reserve(4);
    bits.Put(0xFFFF0000u, 32);  // its LEN 0 and NLEN
  }
}

}  // namespace vireo::xlsx
