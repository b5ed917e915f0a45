#include "session/session_fixture.h"

#include <algorithm>
#include <filesystem>

namespace skelbrook::test {

mk::ImageDesign FourRecordings() {
  mk::ImageDesign design = ThreeRecordings();
  mk::ImageRecording longFilm;
  longFilm.slot = 15;
  longFilm.title = "Long Film";
  longFilm.channel = "ONE";
  longFilm.start = 1709700000;
  longFilm.end = 1709736000;
  longFilm.size = 5000000001;
  longFilm.clusters = {100};
  longFilm.description = "All night.";
  longFilm.seed = 34;
  design.recordings.push_back(longFilm);
  return design;
}

std::string SessionTest::Marks() const {
  std::string marks;
  for (const session::RowView& r : view.rows) {
    if (!marks.empty()) marks += ", ";
    marks += std::string(r.ticked ? "x " : "- ") + IconKey(r.icon);
  }
  return marks;
}

std::vector<std::string> SessionTest::DestFiles() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(PathFromUtf8(dest.path())))
    names.push_back(Utf8FromPath(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace skelbrook::test
