#pragma once

#include <string>

#include "epub/book.h"

namespace pagelume::epub {

// A well-formed BCP 47 language tag ("ja", "fr-CA", "zh-Hant-TW",
// "de-DE-1996", "x-klingon"); case does not matter.
bool isLanguageTag(const std::string& tag);

// A number in a series: digits, optionally with a decimal part ("3", "2.5").
bool isSeriesIndex(const std::string& text);

// The language the book is written in: the details' tag, or the machine's.
std::string bookLanguage(const BookDetails& details);

}  // namespace pagelume::epub
