// Test helpers: build zip packages with libzip (independently of the
// component's own zip writer), look at the entries of a saved package, and
// manage temporary folders.
#pragma once

#include <stdlib.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vireo::test {

using Parts = std::vector<std::pair<std::string, std::string>>;

inline std::string MakeZip(const Parts& parts) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_source_keep(buffer);
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("cannot create zip");
  for (const auto& [name, content] : parts) {
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0)
      throw std::runtime_error("cannot add " + name);
  }
  if (zip_close(archive) != 0) throw std::runtime_error("cannot write zip");
  zip_source_open(buffer);
  zip_source_seek(buffer, 0, SEEK_END);
  std::string bytes(static_cast<std::size_t>(zip_source_tell(buffer)), '\0');
  zip_source_seek(buffer, 0, SEEK_SET);
  zip_source_read(buffer, bytes.data(), bytes.size());
  zip_source_close(buffer);
  zip_source_free(buffer);
  zip_error_fini(&error);
  return bytes;
}

// The entries of a package in stored order: name and content, either
// inflated or exactly as stored.
inline Parts Entries(const std::string& bytes, bool stored = false) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!archive) {
    zip_source_free(source);
    throw std::runtime_error("not a zip");
  }
  Parts parts;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
    zip_file_t* file =
        zip_fopen_index(archive, static_cast<zip_uint64_t>(i), stored ? ZIP_FL_COMPRESSED : 0);
    std::string content(static_cast<std::size_t>(stored ? st.comp_size : st.size), '\0');
    zip_int64_t n = content.empty() ? 0 : zip_fread(file, content.data(), content.size());
    zip_fclose(file);
    if (n != static_cast<zip_int64_t>(content.size())) throw std::runtime_error("bad entry");
    parts.emplace_back(st.name, std::move(content));
  }
  zip_discard(archive);
  return parts;
}

inline std::string Entry(const std::string& bytes, const std::string& name, bool stored = false) {
  for (auto& [n, content] : Entries(bytes, stored))
    if (n == name) return content;
  throw std::runtime_error("no entry " + name);
}

inline bool HasEntry(const std::string& bytes, const std::string& name) {
  for (auto& part : Entries(bytes))
    if (part.first == name) return true;
  return false;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// A fresh folder, removed with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/vireo-output-test-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("mkdtemp");
    path_ = name;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The package parts of a small workbook written by hand, one sheet unless
// the test adds more. Tests replace parts to build the case they need.
inline constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const char* kRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

inline std::string Declaration() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
}

inline std::string SheetXml(const std::string& sheetData, const std::string& before = "",
                            const std::string& after = "") {
  return Declaration() + "<worksheet xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\">" + before +
         sheetData + after + "</worksheet>";
}

inline Parts HandMadeParts(const std::string& sheet, const std::string& styles = "") {
  const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
  Parts parts = {
      {"[Content_Types].xml",
       Declaration() +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
           ct +
           "sheet.main+xml\"/>"
           "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
           ct + "worksheet+xml\"/>" +
           (styles.empty()
                ? ""
                : "<Override PartName=\"/xl/styles.xml\" ContentType=\"" + ct + "styles+xml\"/>") +
           "</Types>"},
      {"_rels/.rels",
       Declaration() +
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"" +
           std::string(kRel) + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml",
       Declaration() + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
           "\"><sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       Declaration() +
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"" +
           std::string(kRel) + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>" +
           (styles.empty() ? ""
                           : "<Relationship Id=\"rId2\" Type=\"" + std::string(kRel) +
                                 "/styles\" Target=\"styles.xml\"/>") +
           "</Relationships>"},
      {"xl/worksheets/sheet1.xml", sheet},
  };
  if (!styles.empty()) parts.emplace_back("xl/styles.xml", styles);
  return parts;
}

inline void ReplacePart(Parts& parts, const std::string& name, const std::string& content) {
  for (auto& part : parts)
    if (part.first == name) {
      part.second = content;
      return;
    }
  parts.emplace_back(name, content);
}

}  // namespace vireo::test
