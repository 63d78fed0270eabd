#pragma once
// Rich text reduced to its plain text: paragraphs, line breaks, tabs and the
// characters, without fonts, colours, pictures or the document's tables.

#include <string>

namespace lumara {

// The text of an RTF document as UTF-8. Anything that is not RTF is returned
// as it is.
std::string RtfToText(const std::string& rtf);

} // namespace lumara
