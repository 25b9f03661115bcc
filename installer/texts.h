// The installer's texts, in Windows-1252 (the Swedish letters as escapes:
// \xE5 å, \xE4 ä, \xF6 ö, \xC5 Å, \xC4 Ä, \xD6 Ö).
#pragma once

namespace installer::text {

inline constexpr const char* blank = " ";
inline constexpr const char* new_directory = "Ny katalog kommer att skapas:    ";
inline constexpr const char* press_install = " Tryck Install f\xF6r att starta installation.";
inline constexpr const char* no_disk_space = "Diskutrymme saknas.";
inline constexpr const char* cannot_install = "Installationen kan ej utf\xF6ras.";
// The words and 21 blanks, 43 characters: the blanks count in the centring.
inline constexpr const char* installing = " Installation p\xE5g\xE5r...                     ";
inline constexpr const char* install_failed = "Installationen misslyckades.";

inline constexpr const char* choose_disk = "V\xE4lj skiva";
inline constexpr const char* install = "Install";
inline constexpr const char* cancel = "Avbryt";

// The engine's status in Swedish for the failure line: what went wrong, or
// "Fel" and the number for a status the installer does not expect.
const char* status_text(int code);

} // namespace installer::text
