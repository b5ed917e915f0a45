// Writing one destination file: what does not depend on the platform. The platform's side is in
// output_file_posix.cpp and output_file_win32.cpp.
#include "device/output_file.h"

namespace skelbrook {

OutputFile::~OutputFile() {
  (void)Close();  // every copy closes its file itself and checks; this only releases the handle
}

std::string OutputFile::FullText() {
  return kDestinationFullText;
}

std::string OutputFile::TooLargeText() {
  return "the destination's file system cannot hold a file that large";
}

}  // namespace skelbrook
