// Payload archives written by hand, record by record, for tests that need
// exact or hostile bytes.
#pragma once

#include <cstdint>
#include <string>

namespace velmora_test {

// The nine marker characters, made at run time so no test program holds them.
std::string marker_text();

// zlib's compress() of data at the default level.
std::string zlib_compress(const std::string& data);

class archive_bytes {
public:
  // Starts with optional stub bytes, then the marker record and the empty
  // end-of-file record.
  explicit archive_bytes(int strip, const std::string& stub = "");

  archive_bytes& name(const std::string& stored);
  archive_bytes& chunk(const std::string& data);        // compressed with compress()
  archive_bytes& raw_chunk(const std::string& payload); // the payload as given
  archive_bytes& end_of_file();
  archive_bytes& end_of_archive(std::uint32_t total);
  archive_bytes& record(std::uint8_t type, std::uint16_t length, const std::string& payload);
  archive_bytes& bytes(const std::string& raw);
  // One whole file: name, its data in 20,000-byte chunks (an empty last one
  // when the size is a multiple), end of file.
  archive_bytes& file(const std::string& stored, const std::string& data);

  const std::string& str() const { return bytes_; }

private:
  std::string bytes_;
};

} // namespace velmora_test
