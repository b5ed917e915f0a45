// The rescued copy's mapfile: marking areas, and reading and writing the text.
#include "transfer/rescue_map.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "device/file_system.h"

namespace skelbrook {
namespace {

bool KnownStatus(char c) {
  return c == kNonTried || c == kNonTrimmed || c == kNonScraped || c == kBadSector ||
         c == kFinished;
}

}  // namespace

RescueMap::RescueMap(int64_t length) {
  if (length > 0) areas_.push_back({0, length, kNonTried});
}

int64_t RescueMap::Length() const {
  return areas_.empty() ? 0 : areas_.back().pos + areas_.back().size;
}

int64_t RescueMap::Missing() const {
  int64_t missing = 0;
  for (const MapArea& a : areas_) missing += a.status == kFinished ? 0 : a.size;
  return missing;
}

void RescueMap::Mark(int64_t pos, int64_t size, char status) {
  const int64_t end = std::min(pos + size, Length());
  pos = std::max<int64_t>(pos, 0);
  if (pos >= end) return;
  std::vector<MapArea> out;
  out.reserve(areas_.size() + 2);
  const auto add = [&out](MapArea a) {
    if (a.size <= 0) return;
    if (!out.empty() && out.back().status == a.status) {
      out.back().size += a.size;
    } else {
      out.push_back(a);
    }
  };
  bool placed = false;
  for (const MapArea& a : areas_) {
    const int64_t aEnd = a.pos + a.size;
    if (aEnd <= pos || a.pos >= end) {
      if (a.pos >= end && !placed) {
        add({pos, end - pos, status});
        placed = true;
      }
      add(a);
      continue;
    }
    add({a.pos, pos - a.pos, a.status});
    if (!placed) {
      add({pos, end - pos, status});
      placed = true;
    }
    add({end, aEnd - end, a.status});
  }
  if (!placed) add({pos, end - pos, status});
  areas_ = std::move(out);
}

std::string RescueMap::Text(int64_t current, char state, int pass) const {
  // The documented layout: comments, a status line (current position, state, pass), then one
  // line per area: position, size, status.
  std::string text =
      "# Mapfile of a copy rescued from a 9200T disk. Positions are bytes of the copy.\n";
  char line[96];
  text += "# current_pos  current_status  current_pass\n";
  std::snprintf(line, sizeof line, "0x%08" PRIX64 "     %c               %d\n",
                static_cast<uint64_t>(current), state, pass);
  text += line;
  text += "#      pos        size  status\n";
  for (const MapArea& a : areas_) {
    std::snprintf(line, sizeof line, "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n",
                  static_cast<uint64_t>(a.pos), static_cast<uint64_t>(a.size), a.status);
    text += line;
  }
  return text;
}

std::optional<RescueMap> RescueMap::Parse(const std::string& text, int64_t length) {
  std::istringstream lines(text);
  std::string line;
  bool statusLine = false;
  RescueMap map;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string first, second, third;
    fields >> first >> second >> third;
    if (!statusLine) {  // current position, state and pass: not needed to go on
      statusLine = true;
      continue;
    }
    try {
      size_t used1 = 0, used2 = 0;
      const int64_t pos = std::stoll(first, &used1, 0);
      const int64_t size = std::stoll(second, &used2, 0);
      if (used1 != first.size() || used2 != second.size() || third.size() != 1 ||
          !KnownStatus(third[0]) || size <= 0 || pos != map.Length()) {
        return std::nullopt;
      }
      map.areas_.push_back({pos, size, third[0] == kNonScraped ? kNonTrimmed : third[0]});
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  if (!statusLine || (length != kAnyLength && map.Length() != length)) return std::nullopt;
  return map;
}

Status RescueMap::Save(const std::string& path, int64_t current, char state, int pass) const {
  return ReplaceFileAtomically(path, Text(current, state, pass));
}

std::optional<RescueMap> RescueMap::Load(const std::string& path, int64_t length) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return Parse(text.str(), length);
}

}  // namespace skelbrook
