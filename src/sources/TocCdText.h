#pragma once

#include <map>
#include <string>
#include <vector>

#include "sources/TocReader.h"

// The CD_TEXT blocks of a cdrdao TOC file: the album's (after the header,
// with its LANGUAGE_MAP) and each track's, one LANGUAGE block a language.
// Of each language the title and performer are kept; the other items, binary
// ones too (SIZE_INFO, TOC_INFO1, GENRE...), are read past.
class TocTextReader : public TocReader {
 public:
  using TocReader::TocReader;

 protected:
  // The title and performer of each language.
  using Texts = std::map<int, CdText>;

  // Reads a CD_TEXT block, its keyword already read: the album's when
  // `global` (which may start with a LANGUAGE_MAP), else a track's.
  bool cdText(bool global, Texts* texts);
  // What a disc player shows of `texts`: the first language the LANGUAGE_MAP
  // maps, or language 0 when there is no map.
  CdText chosen(const Texts& texts) const;

 private:
  bool languageMap();
  bool textValue(const std::string& item, std::string* value);

  std::vector<int> mapped_;  // languages the LANGUAGE_MAP maps
  bool hasMap_ = false;
};
