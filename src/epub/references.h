#pragma once

#include <string>

namespace pagelume::epub {

// An image's name as a reference in the book's documents (an img src or an
// href): the characters that would start a fragment or a query, begin an
// escape, or need escaping in markup ('"', '#', '%', '&', '<', '>', '?') are
// percent-encoded, so the reference names the file and needs no markup
// escaping. A name holding a colon starts with "./", so that nothing before
// the colon reads as a scheme. Blanks and non-ASCII letters stay as they are.
std::string imageReference(const std::string& name);

}  // namespace pagelume::epub
