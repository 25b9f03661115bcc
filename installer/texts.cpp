// The engine's statuses as the installer tells them.
#include "installer/texts.h"

#include "archive/run_archive_command.h"

namespace installer::text {

const char* status_text(int code) {
  namespace status = archive::status;
  switch (code) {
  case status::source_open_failed:
    return "Installationsfilen kan ej l\xE4sas.";
  case status::marker_not_found:
    return "Installationsfilen saknar arkiv.";
  case status::bad_top_record:
  case status::bad_file_record:
  case status::truncated_record:
  case status::chunk_decode_failed:
    return "Arkivet i installationsfilen \xE4r skadat.";
  case status::output_create_failed:
    return "En fil kan ej skapas i m\xE5lkatalogen.";
  default:
    return "Ov\xE4ntat fel i arkivet.";
  }
}

} // namespace installer::text
