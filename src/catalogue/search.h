// Finding recordings in a long list by what they are called: every word typed must stand in the
// recording's title, channel or guide text, whatever its case or accents ("cafe" finds "Café").
// The window's search box and the command line's --match use this one rule.
#pragma once

#include <string>
#include <vector>

#include "catalogue/recording.h"

namespace skelbrook {

// The text folded for comparing: lower case, accents and ligatures taken off the letters of the
// recorder's character set ("Œuvre Café" -> "oeuvre cafe"), every run of blanks one space.
std::string FoldForSearch(const std::string& utf8);

// What a search looks in: the recording's title, channel and guide text, folded.
std::string SearchableText(const Recording& recording);

// The words of what was typed, folded; none for blank text.
std::vector<std::string> SearchWords(const std::string& typed);

// Whether every word stands in `searchable` (SearchableText); true for no words.
bool MatchesAll(const std::string& searchable, const std::vector<std::string>& words);

// Which rows hold every word typed, one flag per entry of `searchable` (SearchableText of each
// recording); no flags, meaning every row, when nothing is typed.
std::vector<bool> RowsHolding(const std::vector<std::string>& searchable, const std::string& typed);

// How a list can be put in order: as the catalogue has it, or by a column.
enum class SortKey {
  Catalogue,  // the recorder's own order: row numbers
  Name,       // by title (the name shown where there is none), then row
  Size,       // by bytes, then row
  Start,      // by the recording's start, then row
};

// The list indices of `recordings` that `keep` holds (all when empty), in the order `key` gives
// (reversed with `descending`; equal keys keep the catalogue's order either way).
std::vector<size_t> OrderRows(const std::vector<Recording>& recordings, SortKey key,
                              bool descending, const std::vector<bool>& keep = {});

}  // namespace skelbrook
