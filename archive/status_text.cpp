// Status codes in words.
#include "archive/status_text.h"

#include "archive/run_archive_command.h"

namespace archive {

const char* status_text(int code) {
  switch (code) {
  case status::success:
    return "done";
  case status::zip_create_failed:
    return "cannot create the ZIP file";
  case status::zip_entry_failed:
    return "cannot add an entry to the ZIP file";
  case status::zip_source_failed:
    return "cannot open a source file for reading";
  case status::unknown_command:
    return "no such engine command";
  case status::archive_create_failed:
    return "cannot create or write the archive file, or cannot open or read the stub";
  case status::build_source_failed:
    return "cannot open or read a source file, or a path or the directory tree exceeds the "
           "archive's limits (paths of 255 characters, 16384 directories)";
  case status::source_open_failed:
    return "cannot open the installer or archive file";
  case status::bad_top_record:
    return "damaged archive: an unexpected record where a file should begin";
  case status::output_create_failed:
    return "cannot create or write an output file, or a stored name would leave the target "
           "directory";
  case status::bad_file_record:
    return "damaged archive: an unexpected record inside a file";
  case status::truncated_record:
    return "damaged archive: it ends inside a file";
  case status::chunk_decode_failed:
    return "damaged archive: a chunk of compressed data does not decode";
  case status::marker_not_found:
    return "no payload archive found: the marker is missing";
  case status::codec_input_failed:
    return "cannot open ZIPIN.TXT";
  case status::codec_output_failed:
    return "cannot create ZIPUT.TXT";
  case status::compress_input_failed:
    return "cannot open ZIPORG.TXT";
  case status::compress_output_failed:
    return "cannot create ZIPIN.TXT";
  default:
    return "unknown status";
  }
}

} // namespace archive
