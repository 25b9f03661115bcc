// A stand-in for the installed application in end-to-end tests: started, it
// writes STARTED.TXT beside itself, holding the path it was started by.
#include <filesystem>
#include <fstream>

int main(int, char** argv) {
  const std::filesystem::path self = argv[0];
  std::ofstream(self.parent_path() / "STARTED.TXT") << self.string() << '\n';
  return 0;
}
