// Payload archives written by hand for tests.
#include "tests/support/archive_bytes.h"

#include "archive/format.h"

#include <zlib.h>

namespace velmora_test {

std::string marker_text() {
  std::string m(archive::marker_template.begin(), archive::marker_template.end() - 1);
  m[0] = archive::marker_first;
  return m;
}

std::string zlib_compress(const std::string& data) {
  uLongf length = compressBound(static_cast<uLong>(data.size()));
  std::string out(length, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &length,
           reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()));
  out.resize(length);
  return out;
}

archive_bytes::archive_bytes(int strip, const std::string& stub) : bytes_(stub) {
  bytes_ += std::string("\x01\x0A\x00", 3) + marker_text();
  bytes_ += static_cast<char>(strip);
  bytes_ += std::string("\x03\x00\x00", 3);
}

archive_bytes& archive_bytes::record(std::uint8_t type, std::uint16_t length,
                                     const std::string& payload) {
  bytes_ += static_cast<char>(type);
  bytes_ += static_cast<char>(length & 0xFF);
  bytes_ += static_cast<char>(length >> 8);
  bytes_ += payload;
  return *this;
}

archive_bytes& archive_bytes::name(const std::string& stored) {
  return record(1, static_cast<std::uint16_t>(stored.size()), stored);
}

archive_bytes& archive_bytes::chunk(const std::string& data) {
  return raw_chunk(zlib_compress(data));
}

archive_bytes& archive_bytes::raw_chunk(const std::string& payload) {
  return record(2, static_cast<std::uint16_t>(payload.size()), payload);
}

archive_bytes& archive_bytes::end_of_file() {
  return record(3, 0, "");
}

archive_bytes& archive_bytes::end_of_archive(std::uint32_t total) {
  bytes_ += '\x04';
  for (int i = 0; i < 4; ++i)
    bytes_ += static_cast<char>(total >> (8 * i));
  return *this;
}

archive_bytes& archive_bytes::bytes(const std::string& raw) {
  bytes_ += raw;
  return *this;
}

archive_bytes& archive_bytes::file(const std::string& stored, const std::string& data) {
  name(stored);
  std::size_t at = 0;
  for (;;) {
    const std::string piece = data.substr(at, archive::chunk_bytes);
    chunk(piece);
    at += piece.size();
    if (piece.size() != static_cast<std::size_t>(archive::chunk_bytes))
      break;
  }
  return end_of_file();
}

} // namespace velmora_test
