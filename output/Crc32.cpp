#include "output/internal/Crc32.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vireo::xlsx {
namespace {

std::uint32_t TableCrc(std::uint32_t crc, std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

#if defined(__x86_64__)

#define VIREO_CARRYLESS __attribute__((target("pclmul,sse2")))

VIREO_CARRYLESS inline __m128i Load(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// `lane` moved on by the distance `by` stands for, added to `next`.
VIREO_CARRYLESS inline __m128i Fold(__m128i lane, __m128i by, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, by, 0x11), next),
                       _mm_clmulepi64_si128(lane, by, 0x00));
}

// The folding of "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ Instruction" (Gopal et al., Intel, 2009) for the bit-reflected
// CRC-32 of zip: four 128-bit lanes folded over 64-byte blocks, then into
// one lane, then to 64 and 32 bits, and a Barrett reduction. `crc` is the
// register as it runs (a CRC value inverted); `size` is a multiple of 16,
// at least 64.
VIREO_CARRYLESS std::uint32_t FoldedCrc(std::uint32_t crc, const char* data, std::size_t size) {
  const __m128i foldBy4 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i foldBy1 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i to32 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i barrett = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(data + 16), x3 = Load(data + 32), x4 = Load(data + 48);
  std::size_t at = 64;
  for (; at + 64 <= size; at += 64) {
    x1 = Fold(x1, foldBy4, Load(data + at));
    x2 = Fold(x2, foldBy4, Load(data + at + 16));
    x3 = Fold(x3, foldBy4, Load(data + at + 32));
    x4 = Fold(x4, foldBy4, Load(data + at + 48));
  }
  x1 = Fold(x1, foldBy1, x2);
  x1 = Fold(x1, foldBy1, x3);
  x1 = Fold(x1, foldBy1, x4);
  for (; at + 16 <= size; at += 16) x1 = Fold(x1, foldBy1, Load(data + at));
  // 128 bits to 64, then to 32 + 32.
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, foldBy1, 0x10));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), to32, 0x00),
                     _mm_srli_si128(x1, 4));
  // Barrett reduction to the 32-bit remainder.
  __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
  quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), barrett, 0x00);
  x1 = _mm_xor_si128(x1, quotient);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

bool HasCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul");
  return has;
}

#endif

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes) {
#if defined(__x86_64__)
  if (bytes.size() >= 64 && HasCarrylessMultiply()) {
    const std::size_t folded = bytes.size() & ~std::size_t{15};
    crc = ~FoldedCrc(~crc, bytes.data(), folded);
    bytes.remove_prefix(folded);
  }
#endif
  return TableCrc(crc, bytes);
}

}  // namespace vireo::xlsx
