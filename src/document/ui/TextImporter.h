#pragma once
// Text files shown as a picture: the text laid out on white in a page the
// size of the visible area, as the text viewer shows it.

#include "codecs/model/Bitmap.h"

#include <QFont>
#include <QString>

#include <string>

namespace lumara {

// The text of a .TXT (as UTF-8, or Latin-1 when it is not valid UTF-8) or
// .RTF file (reduced to its text). Raises EFOpenError naming the file when it
// cannot be read.
QString ReadTextDocument(const std::string& path);

// A 24-bit picture of width by height with the text drawn from the top left.
Bitmap RenderTextPage(const QString& text, int width, int height, const QFont& font);

} // namespace lumara
