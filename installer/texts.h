// The installer's texts, in Windows-1252 (the Swedish letters as escapes:
// \xE5 å, \xE4 ä, \xF6 ö, \xC5 Å, \xC4 Ä, \xD6 Ö).
#pragma once

namespace installer::text {

inline constexpr const char* blank = " ";
inline constexpr const char* new_directory = "Ny katalog kommer att skapas:    ";
inline constexpr const char* press_install = " Tryck Install f\xF6r att starta installation.";
inline constexpr const char* no_disk_space = "Diskutrymme saknas.";
inline constexpr const char* cannot_install = "Installationen kan ej utf\xF6ras.";
// The line during the extraction: the words, then the percentage done
// right-aligned in four characters, " %" and blanks, 43 characters in all
// (the blanks count in the centring).
inline constexpr const char* installing = " Installation p\xE5g\xE5r...";
inline constexpr int installing_line_chars = 43;
// The failure screen: what happened, what is left, what to do.
inline constexpr const char* install_failed =
    "Installationen misslyckades. Inget har installerats.";
inline constexpr const char* install_failed_left = "Installationen misslyckades. ";
inline constexpr const char* left_behind = " finns kvar.";
inline constexpr const char* press_to_end = "Tryck p\xE5 en tangent f\xF6r att avsluta.";

inline constexpr const char* choose_disk = "V\xE4lj skiva";
inline constexpr const char* install = "Install";
inline constexpr const char* cancel = "Avbryt";
inline constexpr const char* end = "Avsluta";

// The engine's status in Swedish for the failure screen: what went wrong, or
// a general text for a status the installer does not expect.
const char* status_text(int code);

} // namespace installer::text
