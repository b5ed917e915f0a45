// Folding text for a search, and ordering the list.
#include "catalogue/search.h"

#include <algorithm>
#include <cstdint>

#include "catalogue/text.h"

namespace skelbrook {
namespace {

// What each letter of Latin-1 and the letters Windows-1252 adds become, folded; empty for none.
const char* FoldedLetter(char32_t c) {
  switch (c) {
    case U'À':
    case U'Á':
    case U'Â':
    case U'Ã':
    case U'Ä':
    case U'Å':
    case U'à':
    case U'á':
    case U'â':
    case U'ã':
    case U'ä':
    case U'å':
      return "a";
    case U'Æ':
    case U'æ':
      return "ae";
    case U'Ç':
    case U'ç':
      return "c";
    case U'È':
    case U'É':
    case U'Ê':
    case U'Ë':
    case U'è':
    case U'é':
    case U'ê':
    case U'ë':
      return "e";
    case U'Ì':
    case U'Í':
    case U'Î':
    case U'Ï':
    case U'ì':
    case U'í':
    case U'î':
    case U'ï':
      return "i";
    case U'Ð':
    case U'ð':
      return "d";
    case U'Ñ':
    case U'ñ':
      return "n";
    case U'Ò':
    case U'Ó':
    case U'Ô':
    case U'Õ':
    case U'Ö':
    case U'Ø':
    case U'ò':
    case U'ó':
    case U'ô':
    case U'õ':
    case U'ö':
    case U'ø':
      return "o";
    case U'Œ':
    case U'œ':
      return "oe";
    case U'Š':
    case U'š':
      return "s";
    case U'ß':
      return "ss";
    case U'Þ':
    case U'þ':
      return "th";
    case U'Ù':
    case U'Ú':
    case U'Û':
    case U'Ü':
    case U'ù':
    case U'ú':
    case U'û':
    case U'ü':
      return "u";
    case U'Ý':
    case U'Ÿ':
    case U'ý':
    case U'ÿ':
      return "y";
    case U'Ž':
    case U'ž':
      return "z";
    default:
      return "";
  }
}

// The next character of UTF-8 `text` from `at`, which moves past it; a stray byte is itself.
char32_t NextCharacter(const std::string& text, size_t& at) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char first = byte(at);
  int more = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : 0;
  if (more > 0 && at + static_cast<size_t>(more) >= text.size()) more = 0;  // cut short
  char32_t c = more == 0 ? first : first & (0x3F >> more);
  for (int k = 1; k <= more; ++k) {
    if ((byte(at + static_cast<size_t>(k)) & 0xC0) != 0x80) {
      more = 0;
      c = first;
      break;
    }
    c = (c << 6) | (byte(at + static_cast<size_t>(k)) & 0x3F);
  }
  at += static_cast<size_t>(more) + 1;
  return c;
}

bool IsBlank(char32_t c) {
  return c == U' ' || c == U'\t' || c == U'\r' || c == U'\n' || c == U'\u00A0';
}

}  // namespace

std::string FoldForSearch(const std::string& utf8) {
  std::string folded;
  folded.reserve(utf8.size());
  bool blank = false;
  for (size_t at = 0; at < utf8.size();) {
    const char32_t c = NextCharacter(utf8, at);
    if (IsBlank(c)) {
      blank = !folded.empty();
      continue;
    }
    if (blank) folded += ' ';
    blank = false;
    if (c >= U'A' && c <= U'Z') {
      folded += static_cast<char>(c - U'A' + U'a');
    } else if (const char* letter = FoldedLetter(c); *letter != '\0') {
      folded += letter;
    } else {
      AppendUtf8(folded, c);
    }
  }
  return folded;
}

std::string SearchableText(const Recording& recording) {
  return FoldForSearch(recording.title + "\n" + recording.channel + "\n" + recording.guideText);
}

std::vector<std::string> SearchWords(const std::string& typed) {
  std::vector<std::string> words;
  const std::string folded = FoldForSearch(typed);
  for (size_t at = 0; at < folded.size();) {
    const size_t end = std::min(folded.find(' ', at), folded.size());
    if (end > at) words.push_back(folded.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

bool MatchesAll(const std::string& searchable, const std::vector<std::string>& words) {
  return std::all_of(words.begin(), words.end(),
                     [&](const std::string& w) { return searchable.find(w) != std::string::npos; });
}

std::vector<bool> RowsHolding(const std::vector<std::string>& searchable,
                              const std::string& typed) {
  const std::vector<std::string> words = SearchWords(typed);
  std::vector<bool> keep;
  if (words.empty()) return keep;
  keep.reserve(searchable.size());
  for (const std::string& text : searchable) keep.push_back(MatchesAll(text, words));
  return keep;
}

std::vector<size_t> OrderRows(const std::vector<Recording>& recordings, SortKey key,
                              bool descending, const std::vector<bool>& keep) {
  std::vector<size_t> rows;
  rows.reserve(recordings.size());
  for (size_t i = 0; i < recordings.size(); ++i) {
    if (keep.empty() || (i < keep.size() && keep[i])) rows.push_back(i);
  }
  if (key == SortKey::Catalogue) {
    if (descending) std::reverse(rows.begin(), rows.end());
    return rows;
  }
  std::vector<std::string> titles;
  if (key == SortKey::Name) {
    titles.resize(recordings.size());
    // A row without a title (a media file no record names) goes by the name it shows.
    for (const size_t i : rows)
      titles[i] =
          FoldForSearch(recordings[i].title.empty() ? recordings[i].rowText : recordings[i].title);
  }
  // Before: by the key, then by row; descending turns only the key round.
  const auto before = [&](size_t a, size_t b) {
    const Recording &x = recordings[a], &y = recordings[b];
    int order = 0;
    if (key == SortKey::Name) order = titles[a].compare(titles[b]);
    if (key == SortKey::Size)
      order = x.media.size < y.media.size ? -1 : x.media.size > y.media.size;
    if (key == SortKey::Start) order = x.startTime < y.startTime ? -1 : x.startTime > y.startTime;
    if (descending) order = -order;
    return order != 0 ? order < 0 : a < b;
  };
  std::sort(rows.begin(), rows.end(), before);
  return rows;
}

}  // namespace skelbrook
