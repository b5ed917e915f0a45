// Writing the .nfo beside a finished copy.
#include "transfer/guide_nfo.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "catalogue/clock.h"
#include "device/file_system.h"
#include "device/output_file.h"

namespace skelbrook {
namespace {

// "2021-11-05": the day part of the ISO time.
std::string DateOnly(int64_t seconds) {
  return IsoTime(seconds).substr(0, 10);
}

void Element(std::string& out, const char* name, const std::string& value) {
  out += std::string("  <") + name + ">" + XmlEscaped(value) + "</" + name + ">\n";
}

}  // namespace

std::string XmlEscaped(const std::string& utf8) {
  static constexpr std::pair<char, const char*> kEntities[] = {
      {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&apos;"}};
  std::string out;
  out.reserve(utf8.size());
  for (const char ch : utf8) {
    const auto entity = std::find_if(std::begin(kEntities), std::end(kEntities),
                                     [ch](const auto& e) { return e.first == ch; });
    if (entity != std::end(kEntities)) {
      out += entity->second;
    } else if (static_cast<unsigned char>(ch) >= 0x20 || ch == '\t' || ch == '\n' || ch == '\r') {
      // XML 1.0 allows no control characters but tab, line feed and carriage return.
      out.push_back(ch);
    }
  }
  return out;
}

std::string NfoText(const Recording& recording) {
  const int64_t start = recording.startTime;
  const int64_t minutes = (std::max<int64_t>(recording.endTime - start, 0) + 30) / 60;
  // "No EPG data found." is the window's word for a missing guide text, not a plot.
  const std::string plot = recording.guideSectorOffset > 0 ? recording.guideText : "";
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<movie>\n";
  Element(out, "title", recording.title);
  Element(out, "plot", plot);
  Element(out, "premiered", DateOnly(start));
  Element(out, "aired", DateOnly(start));
  Element(out, "studio", recording.channel);
  Element(out, "runtime", std::to_string(minutes));
  out += "</movie>\n";
  return out;
}

Status WriteNfo(const std::string& tsPath, const std::string& text, std::string& nfoPath) {
  const std::string stem =
      tsPath.size() > 3 && tsPath.ends_with(".ts") ? tsPath.substr(0, tsPath.size() - 3) : tsPath;
  nfoPath = stem + ".nfo";
  if (FileExists(nfoPath)) return Status::Error(nfoPath + " exists already and is kept as it is");
  const std::string part = nfoPath + ".part";
  if (FileExists(part)) DiscardFile(part);
  OutputFile out;
  Status s = out.CreateExclusive(part);
  if (s.ok()) {
    s = out.Write(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int64_t>(text.size()));
  }
  if (s.ok()) s = out.Flush();
  const Status closed = out.Close();
  if (s.ok()) s = closed;
  if (s.ok()) s = RenameNoReplace(part, nfoPath);
  if (!s.ok()) DiscardFile(part);
  return s;
}

}  // namespace skelbrook
