// The fast coder checked against zlib's inflater, the independent reader:
// every stream must inflate to exactly what went in; the folded CRC
// against zlib's.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "output/internal/Crc32.h"
#include "output/internal/FastDeflate.h"
#include "output/internal/Zip.h"

namespace {

using vireo::xlsx::Deflater;
using vireo::xlsx::FastDeflate;

std::string Inflated(const std::string& stream, std::size_t size) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  std::string out(size + 1, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);  // nothing after the final block
  out.resize(out.size() - z.avail_out);
  inflateEnd(&z);
  return out;
}

// `input` coded in pieces of `piece` bytes, each after the 32 KiB before it.
std::string InPieces(const std::string& input, std::size_t piece) {
  std::string out;
  for (std::size_t at = 0; at < input.size() || at == 0; at += piece) {
    const std::size_t back = std::min<std::size_t>(at, 32768);
    FastDeflate(std::string_view(input).substr(at - back, back),
                std::string_view(input).substr(at, piece), at + piece >= input.size(), out);
    if (input.empty()) break;
  }
  return out;
}

std::string SheetLikeRows(int rows) {
  std::mt19937 random(3);
  std::string xml;
  for (int r = 1; r <= rows; ++r)
    xml += "<row r=\"" + std::to_string(r) + "\"><c s=\"2\" t=\"inlineStr\"><is><t>TP" +
           std::to_string(r % 200) + "@NET_1:" + std::to_string(r / 200) +
           "</t></is></c><c s=\"3\"><v>" + std::to_string(random() % 100000 / 1e3) +
           "</v></c></row>";
  return xml;
}

TEST(FastDeflate, inflates_to_what_went_in_whatever_the_bytes) {
  std::mt19937 random(7);
  std::string noise(200000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string cases[] = {
      "", "a", "abcabcabcabca", std::string(100000, 'x'), noise, SheetLikeRows(3000)};
  for (const std::string& input : cases) {
    std::string whole;
    FastDeflate({}, input, true, whole);
    EXPECT_EQ(Inflated(whole, input.size()), input) << input.size() << " bytes";
  }
  // Long repeats are coded as matches of up to 258 bytes, a few bits each.
  std::string run;
  FastDeflate({}, std::string(100000, 'x'), true, run);
  EXPECT_LT(run.size(), 1000u);
}

TEST(FastDeflate, chunks_coded_apart_join_into_one_stream) {
  const std::string xml = SheetLikeRows(20000);
  for (std::size_t piece : {std::size_t{1}, std::size_t{4099}, std::size_t{65536}, xml.size()}) {
    const std::string input = piece == 1 ? xml.substr(0, 5000) : xml;
    const std::string stream = InPieces(input, piece);
    EXPECT_EQ(Inflated(stream, input.size()), input) << "pieces of " << piece;
  }
  // Matches reach back into the piece before: a text coded after itself
  // takes a fraction of its first coding.
  const std::string half = SheetLikeRows(300);
  ASSERT_LT(half.size(), 32768u);
  std::string first, second;
  FastDeflate({}, half, false, first);
  FastDeflate(half, half, true, second);
  EXPECT_LT(second.size() * 3, first.size());
}

// Pieces coded apart on other threads go into the entry between what is
// written around them: small and large writes, a piece after a piece.
TEST(Deflater, pieces_coded_apart_join_what_is_written_around_them) {
  const std::string xml = SheetLikeRows(40000);
  ASSERT_GT(xml.size(), 2000000u);
  const std::string_view all(xml);
  for (int level : {Deflater::kFast, 1}) {
    Deflater deflater(level);
    deflater.Write(all.substr(0, 300000));
    deflater.Append(Deflater::CodeApart(level, all.substr(300000, 70000)));
    deflater.Write(all.substr(370000, 100));
    deflater.Append(Deflater::CodeApart(level, all.substr(370100, 5)));
    deflater.Append(Deflater::CodeApart(level, all.substr(370105, 29895)));
    deflater.Write(all.substr(400000));
    const vireo::xlsx::StoredEntry entry = deflater.Finish();
    std::string stored = entry.data;
    for (const std::string& piece : entry.more) stored += piece;
    EXPECT_EQ(Inflated(stored, xml.size()), xml) << "level " << level;
    EXPECT_EQ(entry.size, xml.size());
    EXPECT_EQ(entry.crc,
              crc32(0, reinterpret_cast<const Bytef*>(xml.data()), static_cast<uInt>(xml.size())));
  }
}

TEST(Crc32, is_zlibs_for_every_length_and_alignment_and_continues_over_pieces) {
  std::mt19937 random(11);
  std::string bytes(70000, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  auto zlib = [](std::uint32_t crc, std::string_view b) {
    return static_cast<std::uint32_t>(
        crc32_z(crc, reinterpret_cast<const Bytef*>(b.data()), b.size()));
  };
  const std::string_view all(bytes);
  for (std::size_t size = 0; size <= 300; ++size)
    for (std::size_t offset : {0, 1, 7, 15})
      ASSERT_EQ(vireo::xlsx::Crc32(0, all.substr(offset, size)), zlib(0, all.substr(offset, size)))
          << size << " bytes at " << offset;
  EXPECT_EQ(vireo::xlsx::Crc32(0, all), zlib(0, all));
  const std::uint32_t head = vireo::xlsx::Crc32(0, all.substr(0, 1000));
  EXPECT_EQ(vireo::xlsx::Crc32(head, all.substr(1000)), zlib(0, all));
}

}  // namespace
