// Status codes in words.
#include "cli/status_text.h"

#include "archive/run_archive_command.h"

namespace cli {

const char* status_text(int code) {
  switch (code) {
  case archive::status::success:
    return "done";
  case archive::status::zip_create_failed:
    return "cannot create the ZIP file";
  case archive::status::zip_entry_failed:
    return "cannot add an entry to the ZIP file";
  case archive::status::zip_source_failed:
    return "cannot open a source file for reading";
  case archive::status::unknown_command:
    return "no such engine command";
  case archive::status::archive_create_failed:
    return "cannot create or write the archive file, or cannot open or read the stub";
  case archive::status::build_source_failed:
    return "cannot open or read a source file, or a path or the directory tree exceeds the "
           "archive's limits (paths of 255 characters, 16384 directories)";
  case archive::status::source_open_failed:
    return "cannot open the installer or archive file";
  case archive::status::bad_top_record:
    return "damaged archive: an unexpected record where a file should begin";
  case archive::status::output_create_failed:
    return "cannot create or write an output file, or a stored name would leave the target "
           "directory";
  case archive::status::bad_file_record:
    return "damaged archive: an unexpected record inside a file";
  case archive::status::truncated_record:
    return "damaged archive: it ends inside a file";
  case archive::status::chunk_decode_failed:
    return "damaged archive: a chunk of compressed data does not decode";
  case archive::status::marker_not_found:
    return "no payload archive found: the marker is missing";
  case archive::status::codec_input_failed:
    return "cannot open ZIPIN.TXT";
  case archive::status::codec_output_failed:
    return "cannot create ZIPUT.TXT";
  case archive::status::compress_input_failed:
    return "cannot open ZIPORG.TXT";
  case archive::status::compress_output_failed:
    return "cannot create ZIPIN.TXT";
  default:
    return "unknown status";
  }
}

} // namespace cli
